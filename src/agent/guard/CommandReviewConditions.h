#pragma once

// The conditions of the rule table's rows: each tells whether its row
// applies to one command as it runs. The table (CommandReviewTable.cpp)
// names them; a condition that walks text a command runs (git bisect run,
// git submodule foreach) judges it through the review and may apply to
// nothing itself.

#include "agent/guard/CommandReviewRule.h"

namespace agent::CommandReview::Conditions {

// Whether any operand, or the first, is one of the space-separated words.
bool anyOperandIn(const RuleContext &c, const char *list);
bool firstOperandIn(const RuleContext &c, const char *list);

// Programs that replace the running system or its start.
bool shutsDown(const RuleContext &c);
bool reboots(const RuleContext &c);
bool changesCron(const RuleContext &c);
bool changesBootSettings(const RuleContext &c);

// Packages fetched from a URL, a repository or an index other than the
// tool's own (pip install git+https://..., npm i https://.../p.tgz,
// pip install -i http://..., npx https://...).
bool installsFromElsewhere(const RuleContext &c);

// A secret variable of the environment spelled into what a network client
// sends: a URL, a header, a form or a body.
bool sendsSecret(const RuleContext &c);

// What keeps running or comes back after the command: a container with a
// restart policy, a process manager's boot entry.
bool restartsOnItsOwn(const RuleContext &c);
bool addsBootEntry(const RuleContext &c);
// A key added to an account on a forge: it lets in whoever holds it, there.
bool addsAccountKey(const RuleContext &c);

// Keys and passwords deleted from their stores; system logs deleted.
bool deletesKeys(const RuleContext &c);
bool deletesLogs(const RuleContext &c);

// A file server whose folder lies outside the project; a tunnel that lets
// another machine reach this one.
bool servesOutside(const RuleContext &c);
bool opensTunnel(const RuleContext &c);

// git runs the command it is given (bisect run, difftool -x, submodule
// foreach, rebase --exec, an upload-pack program): judged by what it runs.
bool gitRunsGiven(const RuleContext &c);

// The Walk rows: each reads its commands' words further and flags through
// the review what it finds (the rows of its reasons); none applies itself.
bool evalText(const RuleContext &c);
bool sourcedFile(const RuleContext &c);
bool aliasText(const RuleContext &c);
bool trapText(const RuleContext &c);
bool folderChange(const RuleContext &c);
bool loopValues(const RuleContext &c);
bool readValues(const RuleContext &c);
bool declaredValues(const RuleContext &c);
bool killTargets(const RuleContext &c);
bool processChange(const RuleContext &c);
bool tmuxCommands(const RuleContext &c);
bool screenCommands(const RuleContext &c);
bool dtachCommand(const RuleContext &c);
bool rmTargets(const RuleContext &c);
bool findActions(const RuleContext &c);
bool fdActions(const RuleContext &c);
bool permissionTargets(const RuleContext &c);
bool mvSources(const RuleContext &c);
bool psEnvironment(const RuleContext &c);
bool attachTargets(const RuleContext &c);
bool sshCommands(const RuleContext &c);
bool commandOptions(const RuleContext &c);
bool sedScript(const RuleContext &c);
bool makeRecipes(const RuleContext &c);
bool netcatShell(const RuleContext &c);
bool downloads(const RuleContext &c);
bool gitWork(const RuleContext &c);
bool cloudTeardown(const RuleContext &c);
bool rsyncMirror(const RuleContext &c);
bool registryRemovals(const RuleContext &c);
bool httpDeletes(const RuleContext &c);
bool databaseStatements(const RuleContext &c);
bool secretStores(const RuleContext &c);
bool diskTools(const RuleContext &c);

// Leaving for a shell or another program (CommandReviewEscapes.cpp).
bool editorEscapes(const RuleContext &c);
bool debuggerEscapes(const RuleContext &c);
bool emacsEscapes(const RuleContext &c);
bool clientEscapes(const RuleContext &c);
bool manPager(const RuleContext &c);
bool gitConfigGlobal(const RuleContext &c);
bool gitOneOffConfig(const RuleContext &c);
bool environmentSent(const RuleContext &c);

// The machine: power, packages, privileges, network, settings, services,
// disks and git history (CommandReviewSystem.cpp).
bool chmodIdBits(const RuleContext &c);
bool pacmanRemoves(const RuleContext &c);
bool settingChanged(const RuleContext &c);
bool networkChanged(const RuleContext &c);
bool nftChanges(const RuleContext &c);
bool ufwChanges(const RuleContext &c);
bool firewallCmdChanges(const RuleContext &c);
bool fillsDisk(const RuleContext &c);
bool absoluteMembers(const RuleContext &c);
bool managerCall(const RuleContext &c);
bool atSchedules(const RuleContext &c);
bool rebaseRewrites(const RuleContext &c);
bool updateRefMoves(const RuleContext &c);
bool suspends(const RuleContext &c);
bool stopsServices(const RuleContext &c);
bool killsOthers(const RuleContext &c);
bool emptiesTrash(const RuleContext &c);
bool removesOtherPackages(const RuleContext &c);
bool removesToolPackages(const RuleContext &c);
bool givesContainerTheHost(const RuleContext &c);
bool changesPackageManagerConfig(const RuleContext &c);
bool changesCliConfig(const RuleContext &c);
bool changesGlobalPackageConfig(const RuleContext &c);
bool changesDefaultToolchain(const RuleContext &c);
bool installsDesktopEntry(const RuleContext &c);
bool changesInitScripts(const RuleContext &c);
bool callsAccounts(const RuleContext &c);

} // namespace agent::CommandReview::Conditions
