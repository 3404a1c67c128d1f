// Where a write lands, for writers by the shape of their options and
// operands: the place each target resolves to is judged as a redirect's is.
#include "agent/guard/CommandReviewTargets.h"

#include "agent/guard/CommandReviewReasons.h"

namespace agent::CommandReview {

namespace {

// Programs whose -o is no output file: an option, a format, a flag.
bool dashOIsOutput(const QString &name)
{
    return !isOneOf(name, {u"ssh", u"scp", u"sftp", u"sshfs", u"autossh", u"mosh", u"mount", u"umount", u"ps", u"pgrep", u"pkill",
                           u"pidof", u"set", u"shopt", u"bash", u"sh", u"zsh", u"dash", u"ksh", u"fish", u"install", u"find", u"apt",
                           u"apt-get", u"aptitude", u"grep", u"egrep", u"fgrep", u"zgrep", u"rg", u"ag", u"ack", u"ls", u"lsblk",
                           u"findmnt", u"lsof", u"ip", u"journalctl", u"systemctl", u"top", u"htop", u"nc", u"ncat", u"netcat", u"rsync",
                           u"xargs", u"unzip", u"zip", u"tar", u"bsdtar", u"cpio", u"git", u"kubectl", u"helm", u"oc", u"yq", u"docker",
                           u"podman", u"sysctl", u"nmcli", u"fuser", u"make", u"gmake", u"curl", u"mpv", u"pacman", u"dpkg", u"xxd"});
}

// Long options naming a file written, and those naming a folder written into.
bool isOutputFileOption(const QString &option)
{
    return isOneOf(option.toLower(), {u"--output", u"--output-file", u"--outfile", u"--out-file", u"--out", u"--output-document",
                                      u"--log-file", u"--logfile", u"--result-file", u"--outputfile"});
}

bool isOutputFolderOption(const QString &option)
{
    // protoc's --python_out=DIR, --grpc-out=DIR: one per generator.
    const QString o = option.toLower();
    return isOneOf(o, {u"--output-dir", u"--output-directory", u"--outdir", u"--out-dir", u"--target-directory", u"--directory-prefix",
                       u"--output-path", u"--outpath"})
           || (o.size() > 6 && (o.endsWith(QLatin1String("_out")) || o.endsWith(QLatin1String("-out"))));
}

// Short options of a few programs that name what they write: a capture
// file, a class folder, a download or build folder.
struct ShortOutput {
    const char16_t *names;
    const char16_t *option;
};

constexpr ShortOutput kShortOutputs[] = {
    {u"tcpdump tshark dumpcap", u"-w"}, {u"javac kotlinc", u"-d"}, {u"pip pip3", u"-d"}, {u"pip pip3", u"-t"},
    {u"pip pip3", u"-w"},               {u"ninja samu meson", u"-C"}, {u"cmake", u"-B"},
};

// Formatters, compressors and other tools that rewrite the files they are
// given, with the options that make them do it (none: they always do) and
// the options that make them only look or print.
struct Rewriter {
    QStringList names;
    QStringList writeOptions;
    QStringList lookOptions;
};

const std::vector<Rewriter> &rewriters()
{
    const auto words = [](const char *spaced) { return QString::fromLatin1(spaced).split(u' ', Qt::SkipEmptyParts); };
    static const std::vector<Rewriter> table{
        {words("gzip gunzip bzip2 bunzip2 xz unxz lzma unlzma lzip pigz unpigz pbzip2 compress uncompress brotli zstd unzstd lz4 unlz4"), {},
         words("-c --stdout --to-stdout -t --test -l --list -h --help")},
        {words("dos2unix unix2dos mac2unix unix2mac"), {}, words("-i --info")},
        {words("black isort rustfmt autoflake mogrify strip sstrip"), {}, words("--check --diff -c --check-only --print --help -V --version")},
        {words("clang-format autopep8 yapf"), words("-i --in-place"), {}},
        {words("gofmt goimports gofumpt shfmt"), words("-w --write"), words("-l -d --list --diff")},
        {words("prettier eslint stylelint biome standard"), words("--write -w --fix"), words("--check -c")},
        {words("ruff"), words("format --fix"), words("--check --diff")},
        {words("sd optipng jpegoptim"), {}, words("-p --preview -n --noaction --simulate")},
        {words("yq xmlstarlet"), words("-i -L"), {}},
        {words("exiftool"), words("-overwrite_original -overwrite_original_in_place"), {}},
    };
    return table;
}

// Whether the invocation rewrites its file operands in place.
bool rewritesInPlace(const Invocation &inv)
{
    const QStringList a = inv.texts();
    const auto any = [&](const QStringList &options) { return std::any_of(a.cbegin(), a.cend(), [&](const QString &x) { return options.contains(x); }); };
    // Any program told so in the usual words; sed's own rule reads its
    // script, rsync's --inplace writes its destination only.
    if (std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
            return x == u"--in-place" || x == u"--inplace" || x.startsWith(QLatin1String("--in-place="));
        }))
        return !isOneOf(inv.name, {u"sed", u"gsed", u"rsync"});
    for (const Rewriter &r : rewriters()) {
        if (r.names.contains(inv.name))
            return !any(r.lookOptions) && (r.writeOptions.isEmpty() || any(r.writeOptions));
    }
    return false;
}

// Words after the options: not starting with "-", or everything after "--";
// the value of each option of valueOptions is skipped.
std::vector<const Word *> operandsOf(const Invocation &inv, std::initializer_list<const char16_t *> valueOptions = {})
{
    std::vector<const Word *> out;
    bool options = true;
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const Word *w = inv.args[i];
        if (options && w->text == u"--")
            options = false;
        else if (!options || w->text.size() < 2 || !w->text.startsWith(u'-'))
            out.push_back(w);
        else if (isOneOf(w->text, valueOptions))
            ++i;
    }
    return out;
}

// The value of an option given as "-x VALUE" or "--long=VALUE" / "--long VALUE".
struct OptionValue {
    const Word *word = nullptr; // the next word
    QString attached;           // or the text after "="
    qsizetype at = 0;           // where it starts in the option's word
    const Word *in = nullptr;
};

Place placeOf(Review &review, const OptionValue &v, Scope &scope)
{
    if (v.word)
        return review.place(*v.word, scope);
    // "--output=~/x": a tilde there is taken as home, as some shells do.
    return review.places().resolve(v.attached, v.in->unquoted(v.at), scope.cwd);
}

bool isStandardStream(const QString &text)
{
    return text.isEmpty() || text == u"-" || text == u"/dev/stdout" || text == u"/dev/stderr";
}

// Output options by shape, for any program.
void outputOptions(Review &review, const Invocation &inv, Scope &scope)
{
    // git's -o names a file or folder for archive and format-patch only.
    const QStringList a = inv.texts();
    const bool dashO = dashOIsOutput(inv.name)
                       || (inv.name == u"git" && (a.contains(QStringLiteral("archive")) || a.contains(QStringLiteral("format-patch"))));
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const Word *w = inv.args[i];
        const QString &x = w->text;
        if (x == u"--")
            break;
        const Word *next = i + 1 < inv.args.size() ? inv.args[i + 1] : nullptr;
        const bool nextIsValue = next && !next->text.startsWith(u'-');
        OptionValue v;
        const QString longName = x.section(u'=', 0, 0);
        // A folder given for the output takes files under their own names,
        // over what it held: both replace files.
        if (x.startsWith(QLatin1String("--")) && (isOutputFileOption(longName) || isOutputFolderOption(longName))) {
            if (x.contains(u'='))
                v = {nullptr, x.mid(longName.size() + 1), longName.size() + 1, w};
            else if (nextIsValue)
                v = {next, {}, 0, w};
        } else if (x.startsWith(QLatin1String("of=")) || x.startsWith(QLatin1String("--of="))) {
            const qsizetype at = x.indexOf(u'=') + 1;
            v = {nullptr, x.mid(at), at, w};
        } else if (dashO && (x == u"-o" || x == u"-out") && nextIsValue) {
            v = {next, {}, 0, w};
        } else if (dashO && x.size() > 2 && x.startsWith(QLatin1String("-o")) && x != u"-out") {
            v = {nullptr, x.mid(2), 2, w};
        }
        if (!v.word && v.attached.isEmpty())
            continue;
        if (isStandardStream(v.word ? v.word->text : v.attached))
            continue;
        judgeWrite(review, placeOf(review, v, scope), Writes::Overwrites);
    }
}

// Programs that write an operand given by its position.
void positionalOutputs(Review &review, const Invocation &inv, Scope &scope)
{
    const QString &n = inv.name;
    // Options of these programs that take a value (xxd's and scp's -o too).
    const std::vector<const Word *> ops =
        isOneOf(n, {u"xxd", u"scp"})
            ? operandsOf(inv, {u"-l", u"-c", u"-g", u"-s", u"-o", u"-i", u"-P", u"-F", u"-S", u"-J", u"-c"})
            : operandsOf(inv, {u"-l", u"-b", u"-C", u"-n", u"-a", u"-t", u"-f", u"-s", u"-w", u"-c", u"-g", u"-O", u"-I", u"-B", u"-j", u"-R",
                               u"-K", u"-N"});
    const QStringList a = inv.texts();
    const auto write = [&](std::size_t index, Writes how) {
        if (index < ops.size() && !isStandardStream(ops[index]->text))
            judgeWrite(review, review.place(*ops[index], scope), how);
    };
    if (n == u"sponge") {
        const std::vector<const Word *> files = operandsOf(inv);
        if (!files.empty())
            judgeWrite(review, review.place(*files.front(), scope), flagsOf(a).has(u'a', u"--append") ? Writes::Changes : Writes::Overwrites);
    } else if (isOneOf(n, {u"uniq", u"xxd", u"split", u"objcopy"})) {
        write(1, Writes::Overwrites); // IN OUT, or IN PREFIX
    } else if (n == u"scp" && ops.size() >= 2 && !ops.back()->text.contains(u':')) {
        write(ops.size() - 1, Writes::Overwrites); // fetched to a place of this machine
    } else if (isOneOf(n, {u"docker", u"podman", u"kubectl", u"aws", u"gsutil", u"rclone"}) && ops.size() >= 3
               && isOneOf(ops[n == u"aws" ? 1 : 0]->text, {u"cp", u"copy", u"copyto", u"sync", u"mv", u"move"})
               && !ops.back()->text.contains(u':')) {
        write(ops.size() - 1, Writes::Overwrites); // copied out of a container, a bucket, a remote
    } else if (n == u"zip") {
        write(0, Writes::Changes);
    } else if (isOneOf(n, {u"7z", u"7za", u"7zr", u"rar", u"ar"}) && !ops.empty()
               && (n == u"ar" ? !ops[0]->text.contains(u't') && !ops[0]->text.contains(u'x') && !ops[0]->text.contains(u'p')
                              : isOneOf(ops[0]->text, {u"a", u"u", u"d", u"rn"}))) {
        write(1, Writes::Changes);
    } else if (n == u"unrar" && ops.size() >= 3 && isOneOf(ops[0]->text, {u"x", u"e"}) && ops.back()->text.endsWith(u'/')) {
        write(ops.size() - 1, Writes::Overwrites); // unrar x ARCHIVE [FILES] FOLDER/
    } else if (isOneOf(n, {u"convert", u"magick", u"ffmpeg", u"avconv"}) && ops.size() >= 2) {
        // The last word, unless it is the value of an option.
        const Word *last = inv.args.back();
        const QString before = inv.args.size() >= 2 ? inv.args[inv.args.size() - 2]->text : QString();
        const bool value = n != u"convert" && n != u"magick" && before.startsWith(u'-')
                           && !isOneOf(before, {u"-y", u"-n", u"-hide_banner", u"-nostdin", u"-stats", u"-nostats"});
        if (last == ops.back() && !value)
            judgeWrite(review, review.place(*last, scope), Writes::Overwrites);
    } else if (n == u"patch" && !a.contains(QStringLiteral("--dry-run")) && !a.contains(QStringLiteral("--check"))) {
        // patch [options] [FILE [PATCH]]: the file named is changed.
        static const QStringList values{QStringLiteral("-i"), QStringLiteral("-o"), QStringLiteral("-d"), QStringLiteral("-D"),
                                        QStringLiteral("-F"), QStringLiteral("-p"), QStringLiteral("-r"), QStringLiteral("-z"),
                                        QStringLiteral("-B"), QStringLiteral("-Y"), QStringLiteral("-V"), QStringLiteral("-g")};
        for (std::size_t i = 0; i < inv.args.size(); ++i) {
            const QString &x = a.at(qsizetype(i));
            if (values.contains(x)) {
                ++i;
            } else if (!x.startsWith(u'-')) {
                judgeWrite(review, review.place(*inv.args[i], scope), Writes::Changes);
                break;
            }
        }
    }
}

// tar c/r/u with -f, --file: the archive is written.
void archiveWritten(Review &review, const Invocation &inv, Scope &scope)
{
    if (!isOneOf(inv.name, {u"tar", u"bsdtar", u"gtar"}))
        return;
    const QStringList a = inv.texts();
    // Letters in "-czf" clusters, or in a first word without a dash ("czf").
    const auto hasLetter = [&](QChar letter) {
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString &x = a.at(i);
            const bool cluster = x.startsWith(u'-') ? !x.startsWith(QLatin1String("--")) : i == 0;
            if (cluster && x.contains(letter))
                return true;
        }
        return false;
    };
    const bool writes = hasLetter(u'c') || hasLetter(u'r') || hasLetter(u'u') || a.contains(QStringLiteral("--create"))
                        || a.contains(QStringLiteral("--append")) || a.contains(QStringLiteral("--update")) || a.contains(QStringLiteral("--delete"));
    if (!writes)
        return;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        const bool cluster = (x.startsWith(u'-') && !x.startsWith(QLatin1String("--"))) || (i == 0 && !x.startsWith(u'-'));
        if (cluster && x.endsWith(u'f') && i + 1 < a.size()) {
            if (!isStandardStream(a.at(i + 1)))
                judgeWrite(review, review.place(*inv.args[std::size_t(i + 1)], scope), Writes::Overwrites);
            return;
        }
        if (x == u"--file" && i + 1 < a.size() && !isStandardStream(a.at(i + 1))) {
            judgeWrite(review, review.place(*inv.args[std::size_t(i + 1)], scope), Writes::Overwrites);
            return;
        }
        if (x.startsWith(QLatin1String("--file=")) && !isStandardStream(x.mid(7))) {
            judgeWrite(review, review.place(x.mid(7), scope), Writes::Overwrites);
            return;
        }
    }
}

// Folders a command works in and writes into: patch -d, make -C, cpio -D,
// unsquashfs -d, git -C / --work-tree with a command that changes files,
// git apply --directory.
void workingFolders(Review &review, const Invocation &inv, Scope &scope)
{
    const QString &n = inv.name;
    const QStringList a = inv.texts();
    const auto folderOption = [&](std::initializer_list<const char16_t *> shortNames, std::initializer_list<const char16_t *> longNames) {
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString &x = a.at(i);
            if (x == u"--")
                break;
            if ((isOneOf(x, shortNames) || isOneOf(x, longNames)) && i + 1 < a.size())
                judgeWrite(review, review.place(*inv.args[std::size_t(i + 1)], scope), Writes::Changes);
            for (const char16_t *l : longNames) {
                const QString prefix = QString::fromUtf16(l) + u'=';
                if (x.startsWith(prefix))
                    judgeWrite(review, review.places().resolve(x.mid(prefix.size()), inv.args[std::size_t(i)]->unquoted(prefix.size()), scope.cwd),
                               Writes::Changes);
            }
        }
    };
    for (const ShortOutput &o : kShortOutputs) {
        if (QString::fromUtf16(o.names).split(u' ').contains(n)) {
            for (qsizetype i = 0; i + 1 < a.size(); ++i) {
                if (a.at(i) == QStringView(o.option))
                    judgeWrite(review, review.place(*inv.args[std::size_t(i + 1)], scope), Writes::Overwrites);
                else if (a.at(i).startsWith(QStringView(o.option)) && a.at(i).size() > 2 && !a.at(i).startsWith(QLatin1String("--")))
                    judgeWrite(review, review.places().resolve(a.at(i).mid(2), inv.args[std::size_t(i)]->unquoted(2), scope.cwd), Writes::Overwrites);
            }
        }
    }
    // Without a folder given, they work where the line stands, which
    // "cd ../other" may have moved out of the project.
    const bool folderGiven = std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
        return isOneOf(x, {u"-d", u"-C"}) || x.startsWith(QLatin1String("--directory"));
    });
    const bool patches = n == u"patch" && !a.contains(QStringLiteral("--dry-run")) && !a.contains(QStringLiteral("--check"));
    if ((patches || isOneOf(n, {u"make", u"gmake", u"ninja", u"samu"})) && !folderGiven && !(n == u"make" && a.contains(QStringLiteral("-n"))))
        judgeWrite(review, scope.cwd, Writes::Changes);
    if (patches)
        folderOption({u"-d"}, {u"--directory"});
    else if (n == u"make" || n == u"gmake")
        folderOption({u"-C"}, {u"--directory"});
    else if (n == u"cpio")
        folderOption({u"-D"}, {u"--directory"});
    else if (n == u"unsquashfs" || n == u"cabextract")
        folderOption({u"-d"}, {u"--dest", u"--directory"});
    if (n != u"git")
        return;
    // git -C DIR, --work-tree=DIR: a command that changes files changes them there.
    Place root = scope.cwd;
    bool elsewhere = false;
    qsizetype i = 0;
    while (i < a.size() && a.at(i).startsWith(u'-')) {
        const QString &x = a.at(i);
        if ((x == u"-C" || x == u"--work-tree") && i + 1 < a.size()) {
            Scope at = scope;
            at.cwd = root; // each -C is taken from the one before
            root = review.place(*inv.args[std::size_t(i + 1)], at);
            elsewhere = true;
        } else if (x.startsWith(QLatin1String("--work-tree="))) {
            root = review.places().resolve(x.mid(12), inv.args[std::size_t(i)]->unquoted(12), root);
            elsewhere = true;
        }
        i += isOneOf(x, {u"-C", u"-c", u"--git-dir", u"--work-tree", u"--namespace", u"--config-env", u"--super-prefix", u"--exec-path"}) ? 2 : 1;
    }
    const QString sub = a.value(i);
    if (sub == u"worktree" || sub == u"init") {
        // git worktree add PATH, git init PATH: a new tree made there.
        qsizetype k = i + 1;
        if (sub == u"worktree" && a.value(k++) != u"add")
            return;
        for (; k < a.size(); ++k) {
            const QString &x = a.at(k);
            if (isOneOf(x, {u"-b", u"-B", u"--reason", u"--template", u"--separate-git-dir", u"--object-format", u"--ref-format"}))
                ++k;
            else if (!x.startsWith(u'-'))
                break;
        }
        if (k < a.size()) {
            Scope at = scope;
            at.cwd = root;
            judgeWrite(review, review.place(*inv.args[std::size_t(k)], at), Writes::Changes);
        }
        return;
    }
    if (sub == u"apply" || sub == u"am") {
        for (qsizetype k = i + 1; k < a.size(); ++k) {
            if (a.at(k).startsWith(QLatin1String("--directory="))) {
                root = review.places().resolve(a.at(k).mid(12), inv.args[std::size_t(k)]->unquoted(12), root);
                elsewhere = true;
            }
        }
        // --check, --stat, --numstat only read the patch.
        const bool reads = std::any_of(a.cbegin() + i, a.cend(), [](const QString &x) {
            return isOneOf(x, {u"--check", u"--stat", u"--numstat", u"--summary"});
        });
        if (reads && !a.mid(i).contains(QStringLiteral("--apply")))
            return;
        // --unsafe-paths lets the patch write wherever its own lines say.
        if (!elsewhere && a.mid(i).contains(QStringLiteral("--unsafe-paths")))
            review.flagOutside("writes-outside", QStringLiteral("paths the patch names"), true);
    } else if (isOneOf(sub, {u"", u"status", u"log", u"diff", u"show", u"rev-parse", u"ls-files", u"ls-tree", u"describe", u"blame", u"grep",
                             u"cat-file", u"shortlog", u"rev-list", u"for-each-ref", u"name-rev", u"merge-base", u"whatchanged",
                             u"count-objects", u"fsck", u"help", u"version", u"remote", u"branch", u"tag", u"reflog", u"show-ref",
                             u"symbolic-ref", u"var", u"check-ignore", u"check-attr", u"fetch", u"archive", u"bundle", u"format-patch",
                             u"range-diff", u"difftool", u"verify-commit", u"verify-tag", u"config", u"clone"})) {
        return; // they read, or write what their own rules judge
    }
    // Where the line stands counts as well: "cd ../other && git pull".
    judgeWrite(review, root, Writes::Changes);
}

} // namespace

void judgeTargets(Review &review, const Invocation &inv, Scope &scope)
{
    outputOptions(review, inv, scope);
    positionalOutputs(review, inv, scope);
    archiveWritten(review, inv, scope);
    workingFolders(review, inv, scope);
    // awk -i inplace: the files after the program are rewritten.
    if (isOneOf(inv.name, {u"awk", u"gawk"}) && inv.texts().join(u' ').contains(QLatin1String("-i inplace"))) {
        const std::vector<const Word *> ops = operandsOf(inv, {u"-i", u"-v", u"-F", u"-f", u"-e"});
        const bool programGiven = inv.texts().contains(QStringLiteral("-f")) || inv.texts().contains(QStringLiteral("-e"));
        for (std::size_t k = programGiven ? 0 : 1; k < ops.size(); ++k)
            judgeWrite(review, review.place(*ops[k], scope), Writes::Overwrites);
    }
    if (rewritesInPlace(inv)) {
        for (const Word *w : operandsOf(inv))
            judgeWrite(review, review.place(*w, scope), Writes::Overwrites);
    }
    if (isOneOf(inv.name, {u"mkdir", u"touch", u"mkfifo", u"mknod"})) {
        for (const Word *w : operandsOf(inv))
            judgeMade(review, review.place(*w, scope));
    }
    if (inv.name == u"git")
        judgeGitSettings(review, inv, scope);
}

} // namespace agent::CommandReview
