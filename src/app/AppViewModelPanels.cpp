#include "app/AppViewModel.h"

#include "agent/files/WorkspaceManager.h"
#include "app/Donation.h"
#include "app/TellingDesktop.h"
#include "platform/DesktopServices.h"

#include <QPointer>

#include <QFileInfo>

namespace app {

QString AppViewModel::projectRootPath() const
{
    return m_workspace->rootPath();
}

bool AppViewModel::attachProjectFile(const QString &path)
{
    // The tree lists links as they are; what would be sent is the target.
    const QString root = QFileInfo(m_workspace->rootPath()).canonicalFilePath();
    const QString real = QFileInfo(path).canonicalFilePath();
    const bool inside = !root.isEmpty() && !real.isEmpty()
        && (real.startsWith(root.endsWith(u'/') ? root : root + u'/'));
    if (!inside) {
        setErrorMessage(QStringLiteral("Could not resolve path in project: ") + path);
        return false;
    }
    return attachFile(QUrl::fromLocalFile(path));
}

void AppViewModel::attachLoggedPath(const QString &pathOrRelative)
{
    const auto resolved = m_workspace->resolvePath(pathOrRelative);
    if (!resolved) {
        revealInFileTree(pathOrRelative);
        return;
    }
    attachFile(QUrl::fromLocalFile(resolved.value()));
}

void AppViewModel::revealInFinder(const QString &path)
{
    tellingDesktop().revealFile(path);
}

void AppViewModel::openTipJar()
{
    Donation::openTipJar(tellingDesktop());
}

platform::DesktopServices &AppViewModel::tellingDesktop()
{
    if (!m_tellingDesktop) {
        m_tellingDesktop = std::make_unique<TellingDesktop>(
            [this]() -> platform::DesktopServices & { return desktop(); },
            [self = QPointer<AppViewModel>(this)](const QString &text) {
                if (self)
                    self->setErrorMessage(text);
            });
    }
    return *m_tellingDesktop;
}

} // namespace app
