#include "platform/SharedNetwork.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace platform {

QNetworkAccessManager &sharedNetwork()
{
    static QNetworkAccessManager *manager = [] {
        auto *m = new QNetworkAccessManager(QCoreApplication::instance());
        m->setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
        return m;
    }();
    return *manager;
}

} // namespace platform
