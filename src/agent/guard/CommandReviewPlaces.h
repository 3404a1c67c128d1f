#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace agent::CommandReview {

// Where a path word points, as far as the text tells: "~", "$HOME",
// "${HOME}", "/home/$USER", "/root" and the user's own home path all become
// Home; "..", "." and "//" are resolved as written.
struct Place {
    enum class Base { Relative, Absolute, Home };
    Base base = Base::Relative;
    QStringList parts; // the components after the base

    bool isProject() const { return base == Base::Relative && parts.isEmpty(); }
    friend bool operator==(const Place &, const Place &) = default;
};

class Places {
public:
    // projectRoot: the project's absolute path, when known. A path written
    // absolute, from home, or climbing out with ".." and back that lands in
    // it is then a place of the project. Home itself or "/" is no project.
    explicit Places(const QString &projectRoot = {});

    // The place a word names. tildeLive: the word starts with an unquoted "~".
    // A relative word is taken from cwd, which is the project when empty.
    Place resolve(const QString &text, bool tildeLive, const Place &cwd) const;

    // "/", home, or one folder right under either ("/etc", "~/.config",
    // "~/*"), or the project's parent: what no recursive change may reach.
    static bool isTopFolder(const Place &p);
    // A folder of the system (/etc, /usr/lib, /var/www, /mnt/disk), not a
    // temporary one: no recursive change belongs there.
    static bool isSystemFolder(const Place &p);
    // "/" or a home itself, or everything right in it ("~/*").
    static bool isHomeOrRoot(const Place &p);
    // Where the system keeps its programs and settings (/etc, /usr, /boot,
    // /var but its temporary folder): nothing the project writes lies there.
    static bool isSystemPlace(const Place &p);
    // A folder of the search path a person's shell looks in first.
    static bool isSearchPath(const Place &p);
    // Outside the project and not a temporary place: a home, the system, or
    // a relative path that climbs out with "..".
    static bool isOutsideProject(const Place &p);
    // The desktop's trash: what is deleted there cannot be restored.
    static bool isTrash(const Place &p);

    // The label of a credential place ("~/.ssh", "keyring", "app sign-in",
    // "process environment", ...), nothing for other places.
    static std::optional<QString> credential(const Place &p);
    // The ssh folder or anything in it: writing there (config, rc,
    // authorized_keys) changes what ssh runs or lets in.
    static bool isSshFolder(const Place &p);
    // The label of a credential place that lies inside this folder (home
    // holds ~/.ssh, ~/.local/share holds the keyrings, /proc the environments).
    static std::optional<QString> credentialInside(const Place &p);
    // A file the shell or the desktop runs at start-up.
    static bool isStartupFile(const Place &p);
    // A place whose files are started later: autostart, user services, cron.
    static std::optional<QString> persistence(const Place &p);

    // A start-up or global configuration file of a tool, editor or debugger
    // (~/.gitconfig, ~/.npmrc, ~/.vimrc, ~/.gdbinit, a .desktop entry ...).
    static bool isToolConfig(const Place &p);
    // Where the session bus finds the services it starts on demand.
    static bool isActivation(const Place &p);
    // The place as a person writes it: "~/.gitconfig", "/etc/gitconfig".
    static QString label(const Place &p);

    // A device other than the harmless ones (null, zero, random, ttys, fds).
    static bool isDevice(const QString &path);

    // Markers of credential places in free text (inline programs).
    static bool mentionsCredential(const QString &text);

    // The home folder as the shell prints it.
    const QString &home() const { return m_home; }

private:
    Place inProject(Place place) const;

    QString m_home;
    std::optional<Place> m_project; // the project's root, from home or "/"
};

// Whether a place lies inside the project (a relative path that does not climb out).
bool isInsideProject(const Place &p);

} // namespace agent::CommandReview
