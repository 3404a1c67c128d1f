#include "agent/shell/PrivilegeNote.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <sys/stat.h>
#include <sys/xattr.h>

namespace agent::PrivilegeNote {

namespace {

constexpr qsizetype kMaxWords = 256; // a long command is not searched past this

// Whether the file would gain privileges when started outside the sandbox.
bool raisesPrivileges(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (st.st_mode & (S_ISUID | S_ISGID))
        return true;
    return ::getxattr(native.constData(), "security.capability", nullptr, 0) > 0;
}

// The words of the command that could name a program: split at blanks and
// shell operators, quotes removed. Reading too much is harmless: a word
// counts only when it names such a program.
QStringList words(const QString &command)
{
    static const QRegularExpression separators(QStringLiteral(R"([\s;&|()<>`{}]+|\$\()"));
    QStringList out;
    for (QString word : command.split(separators, Qt::SkipEmptyParts)) {
        word.remove(u'\'');
        word.remove(u'"');
        if (!word.isEmpty() && word.size() < 4096 && !out.contains(word))
            out.append(word);
        if (out.size() >= kMaxWords)
            break;
    }
    return out;
}

QStringList privilegedPrograms(const QString &command, const QString &searchPath, const QString &workingDirectory)
{
    const QStringList folders = searchPath.split(u':', Qt::SkipEmptyParts);
    QStringList found;
    for (const QString &word : words(command)) {
        bool privileged = false;
        if (word.contains(u'/')) {
            privileged = raisesPrivileges(QDir(workingDirectory).absoluteFilePath(word));
        } else {
            for (const QString &folder : folders) {
                const QString candidate = QDir(folder).filePath(word);
                if (QFileInfo::exists(candidate)) {
                    privileged = raisesPrivileges(candidate); // the first one found is the one that runs
                    break;
                }
            }
        }
        if (privileged)
            found.append(word.section(u'/', -1));
    }
    return found;
}

// What such programs say when they find they were started without privileges.
bool isRefusal(const QString &output)
{
    static const QRegularExpression refusal(
        QStringLiteral(R"(no new privileges|must be (set)?suid|must be setuid|effective uid is not 0|not installed setuid)"),
        QRegularExpression::CaseInsensitiveOption);
    return refusal.match(output).hasMatch();
}

} // namespace

std::optional<QString> forFailedCommand(const QString &command, const QString &output, const QString &searchPath,
                                        const QString &workingDirectory)
{
    const QStringList programs = privilegedPrograms(command, searchPath, workingDirectory);
    if (programs.isEmpty() && !isRefusal(output))
        return std::nullopt;
    const QString named = programs.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(programs.join(QStringLiteral(", ")));
    return QStringLiteral("Note: setuid programs%1 cannot raise privileges in the sandbox this command runs in; "
                          "what needs root cannot be done from here.")
        .arg(named);
}

} // namespace agent::PrivilegeNote
