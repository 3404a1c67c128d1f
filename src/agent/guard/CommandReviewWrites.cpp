// Where a command writes: editors, in-place filters, copies, links and
// truncation, judged by the place they write, not by the command's name.
#include "agent/guard/CommandReviewer.h"
#include "agent/guard/CommandReviewRows.h"
#include "agent/guard/CommandReviewTargets.h"

#include <QRegularExpression>

namespace agent::CommandReview {

namespace {

bool isEditor(const QString &name)
{
    return isOneOf(name, {u"vi", u"vim", u"nvim", u"gvim", u"ex", u"nano", u"pico", u"micro", u"emacs", u"emacsclient", u"ed", u"joe",
                          u"jed", u"mcedit", u"code", u"codium", u"gedit", u"kate", u"kwrite", u"mousepad", u"xed", u"helix", u"hx",
                          u"kak", u"subl"});
}

// Operands that are not option values: options of the forms "-x", "--x=y"
// are skipped, and so is the value of each option named in valueOptions.
std::vector<const Word *> fileOperands(const Invocation &inv, std::initializer_list<const char16_t *> valueOptions)
{
    std::vector<const Word *> out;
    bool options = true;
    for (std::size_t i = 0; i < inv.args.size(); ++i) {
        const QString &a = inv.args[i]->text;
        if (options && a == u"--") {
            options = false;
        } else if (options && a.size() > 1 && (a.startsWith(u'-') || a.startsWith(u'+'))) {
            if (isOneOf(a, valueOptions))
                ++i;
        } else {
            out.push_back(inv.args[i]);
        }
    }
    return out;
}

// sed -i, gawk -i inplace, perl -i: the files are rewritten.
bool editsInPlace(const Invocation &inv)
{
    const QStringList a = inv.texts();
    if (inv.name == u"sed" || inv.name == u"gsed")
        return std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
            return x.startsWith(QLatin1String("--in-place")) || (x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && x.contains(u'i'));
        });
    // perl -pi -e, ruby -i.bak -pe: the clusters before the program text.
    if (inv.name == u"perl" || inv.name == u"ruby")
        return std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
            static const QRegularExpression cluster(QStringLiteral("^-[aclnpsw0-9]*i"));
            return cluster.match(x).hasMatch();
        });
    return false;
}

// tar x, unzip, 7z x: an archive unpacked.
bool extractsArchive(const Invocation &inv)
{
    const QStringList a = inv.texts();
    if (inv.name == u"unzip")
        return !a.contains(QStringLiteral("-l")) && !a.contains(QStringLiteral("-t")) && !a.contains(QStringLiteral("-v"));
    if (inv.name == u"7z" || inv.name == u"7za")
        return !a.isEmpty() && (a.first() == u"x" || a.first() == u"e");
    if (inv.name == u"tar" || inv.name == u"bsdtar") {
        const QString first = a.value(0);
        return a.contains(QStringLiteral("--extract")) || a.contains(QStringLiteral("--get"))
               || (!first.startsWith(QLatin1String("--")) && first.contains(u'x'))
               || std::any_of(a.cbegin(), a.cend(), [](const QString &x) { return x.startsWith(u'-') && !x.startsWith(QLatin1String("--")) && x.contains(u'x'); });
    }
    return false;
}

} // namespace

void judgeWrite(Review &review, const Place &place, Writes how)
{
    judgeLanding(review, place);
    judgePlaceWritten(review, place, {});
    if (Places::isSshFolder(place))
        review.flagRow("credential-place", QStringLiteral("~/.ssh"));
    if (Places::isStartupFile(place))
        review.flagRow("shell-profile");
    if (const std::optional<QString> why = Places::persistence(place))
        review.flag(*why);
    if (Places::isSearchPath(place))
        review.flagRow("search-path");
    if (Places::isSystemPlace(place))
        review.flagRow("system-folder");
    if (Places::isOutsideProject(place) && how == Writes::Overwrites)
        review.flagOutside("overwrites-outside", Places::label(place));
    else if (Places::isOutsideProject(place))
        review.flagOutside("writes-outside", Places::label(place), true);
}

void judgeWriters(Review &review, const Invocation &inv, Scope &scope)
{
    judgeTargets(review, inv, scope);
    const QString &n = inv.name;
    const auto each = [&](const std::vector<const Word *> &words, Writes how) {
        for (const Word *w : words)
            judgeWrite(review, review.place(*w, scope), how);
    };
    if (isEditor(n)) {
        each(fileOperands(inv, {u"-c", u"--cmd", u"-S", u"-u", u"-i", u"-T", u"-w", u"-W", u"-s", u"--eval", u"-l", u"--load"}),
             Writes::Changes);
        return;
    }
    if (editsInPlace(inv)) {
        // The first operand is the script unless -e or -f gave it.
        std::vector<const Word *> files = fileOperands(inv, {u"-e", u"--expression", u"-f", u"--file", u"-l", u"--line-length", u"-E",
                                                            u"-M", u"-I", u"-r"});
        const QStringList a = inv.texts();
        const bool scriptGiven = a.contains(QStringLiteral("-e")) || a.contains(QStringLiteral("-f"))
                                 || std::any_of(a.cbegin(), a.cend(), [](const QString &x) {
                                        return x.startsWith(QLatin1String("--expression")) || x.startsWith(QLatin1String("--file"));
                                    });
        if (!scriptGiven && !files.empty())
            files.erase(files.begin());
        // Rewritten in place is rewritten whole, as a redirect would.
        each(files, Writes::Overwrites);
        return;
    }
    if (extractsArchive(inv)) {
        // A downloaded archive unpacks files the line does not name: a
        // script run from them later runs the download.
        const bool downloaded = inv.input.kind == Text::Kind::Download
                                || std::any_of(inv.args.cbegin(), inv.args.cend(), [&](const Word *w) {
                                       const std::optional<Text> t = review.writtenAt(review.place(*w, scope));
                                       return t && t->kind == Text::Kind::Download;
                                   });
        if (downloaded)
            review.downloadedUnnamed();
        // Unpacking into a folder writes over what lies there.
        const QStringList a = inv.texts();
        for (qsizetype i = 0; i < a.size(); ++i) {
            const QString &x = a.at(i);
            const bool next = (x == u"-C" || x == u"--directory" || (n == u"unzip" && x == u"-d")) && i + 1 < a.size();
            QString dir = next ? a.at(i + 1) : QString();
            if (x.startsWith(QLatin1String("--directory=")))
                dir = x.mid(12);
            else if ((n == u"7z" || n == u"7za") && x.startsWith(QLatin1String("-o")))
                dir = x.mid(2);
            if (!dir.isEmpty()) {
                judgeWrite(review, next ? review.place(*inv.args[std::size_t(i + 1)], scope) : review.place(dir, scope), Writes::Overwrites);
                return;
            }
        }
        // No folder given: it unpacks where the line stands, which "cd ~"
        // may have moved out of the project.
        if (!scope.cwd.parts.isEmpty() || scope.cwd.base != Place::Base::Relative)
            judgeWrite(review, review.place(QStringLiteral("."), scope), Writes::Overwrites);
        return;
    }
    if (n == u"truncate") {
        each(fileOperands(inv, {u"-s", u"--size", u"-r", u"--reference"}), Writes::Overwrites);
        return;
    }
    if (n == u"tee") {
        const Flags f = flagsOf(inv.texts());
        const std::vector<const Word *> files = fileOperands(inv, {u"-p", u"--output-error"});
        for (const Word *w : files)
            judgePlaceWritten(review, review.place(*w, scope), inv.input);
        each(files, f.has(u'a', u"--append") ? Writes::Changes : Writes::Overwrites);
        return;
    }
    if (isOneOf(n, {u"cp", u"install", u"ln", u"mv", u"rsync"})) {
        std::vector<const Word *> ops = fileOperands(inv, {u"-t", u"--target-directory", u"-S", u"--suffix", u"-m", u"--mode", u"-o",
                                                           u"--owner", u"-g", u"--group", u"-e", u"--rsh", u"--exclude", u"--include"});
        const QStringList a = inv.texts();
        const qsizetype target = std::max(a.indexOf(QStringLiteral("-t")), a.indexOf(QStringLiteral("--target-directory")));
        if (target >= 0 && target + 1 < a.size()) {
            judgeWrite(review, review.place(*inv.args[std::size_t(target + 1)], scope), Writes::Overwrites);
            return;
        }
        for (const QString &x : a) {
            if (x.startsWith(QLatin1String("--target-directory="))) {
                judgeWrite(review, review.place(x.mid(19), scope), Writes::Overwrites);
                return;
            }
        }
        // ln TARGET alone links it under its own name where the line stands.
        if (n == u"ln" && ops.size() == 1) {
            const QString name = baseName(ops.front()->text);
            if (!name.isEmpty())
                judgeWrite(review, review.place(name, scope), Writes::Overwrites);
            return;
        }
        if (ops.size() < 2 || (n == u"rsync" && ops.back()->text.contains(u':')))
            return;
        // A dry run writes nothing; a mirror that deletes has its own rule.
        const Flags f = flagsOf(a);
        if (n == u"rsync" && (f.has(u'n', u"--dry-run") || f.hasLong(u"--remove-source-files")
                              || std::any_of(f.longOptions.cbegin(), f.longOptions.cend(), [](const QString &o) { return o.startsWith(QLatin1String("--del")); })))
            return;
        // A copy, move, install or link replaces what the destination held,
        // as a redirect does; into a folder, each file lands under its name.
        // A folder written as one ("dir/") gains files: judged by where they land.
        const Place destination = review.place(*ops.back(), scope);
        const bool folder = ops.back()->text.endsWith(u'/');
        // Where a source lands in a folder: under its own name ("src/." and
        // "src/" put their contents there).
        const auto landing = [&](const Word *source) {
            Place file = destination;
            QString name = source->text;
            if (n == u"rsync" && name.endsWith(u'/'))
                return file; // rsync's "src/" is what src holds
            while (name.endsWith(u'/'))
                name.chop(1);
            name = baseName(name);
            if (!name.isEmpty() && name != u"." && name != u"..")
                file.parts.append(name);
            return file;
        };
        // An existing folder written without its slash takes each file
        // under its own name: ".git" plus "hooks", "~/.config" plus "ovu".
        judgeLanding(review, destination);
        for (auto it = ops.cbegin(); !folder && it != ops.cend() - 1; ++it)
            judgeLanding(review, landing(*it));
        if (folder) {
            for (auto it = ops.cbegin(); it != ops.cend() - 1; ++it) {
                const Place file = landing(*it);
                // Straight into home, the root or the folder holding the
                // project, a file lands over one of theirs (another project,
                // a dotfile); a folder under them only gains files.
                const bool top = Places::isHomeOrRoot(destination)
                                 || (destination.base == Place::Base::Relative && Places::isTopFolder(destination));
                judgeWrite(review, file, top ? Writes::Overwrites : Writes::Changes);
            }
        }
        judgeWrite(review, destination, folder ? Writes::Changes : Writes::Overwrites);
        if (n == u"mv" && ops.back()->text.startsWith(QLatin1String("/dev/")))
            review.flagRow("moved-onto-device");
        return;
    }
    // Downloads and clones into a folder named apart from the file: what
    // they fetch lands there, as a copy's files do.
    const QStringList a = inv.texts();
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QString &x = a.at(i);
        const bool wgetDir = (n == u"wget" || n == u"wget2") && (x == u"-P" || x == u"--directory-prefix");
        const bool curlDir = n == u"curl" && x == u"--output-dir";
        if ((wgetDir || curlDir) && i + 1 < a.size())
            judgeWrite(review, review.place(*inv.args[std::size_t(i + 1)], scope), Writes::Overwrites);
        else if ((n == u"wget" || n == u"wget2") && x.startsWith(QLatin1String("--directory-prefix=")))
            judgeWrite(review, review.place(x.mid(19), scope), Writes::Overwrites);
        else if (n == u"curl" && x.startsWith(QLatin1String("--output-dir=")))
            judgeWrite(review, review.place(x.mid(13), scope), Writes::Overwrites);
    }
    if (n == u"git" && a.value(0) == u"clone") {
        const std::vector<const Word *> ops = fileOperands(inv, {u"-b", u"--branch", u"-o", u"--origin", u"--depth", u"-c", u"--config",
                                                                 u"--reference", u"--template", u"-u", u"--upload-pack", u"--separate-git-dir",
                                                                 u"--filter", u"-j", u"--jobs"});
        if (ops.size() >= 3) {
            judgeWrite(review, review.place(*ops.back(), scope), Writes::Overwrites);
        } else if (ops.size() == 2) {
            // Into a folder named after the repository, where the line stands.
            QString name = baseName(ops.back()->text.section(u':', -1));
            if (name.endsWith(QLatin1String(".git")))
                name.chop(4);
            if (!name.isEmpty())
                judgeWrite(review, review.place(name, scope), Writes::Overwrites);
        }
    }
}

} // namespace agent::CommandReview
