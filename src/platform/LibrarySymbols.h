#pragma once

#include <QLibrary>

namespace platform {

// The functions of a library opened on first use, looked up by name into
// pointers of their own types; all() says whether every one was found.
class LibrarySymbols {
public:
    explicit LibrarySymbols(QLibrary &library) : m_library(&library) {}

    template <typename Function>
    void resolve(Function *&function, const char *name)
    {
        function = reinterpret_cast<Function *>(m_library->resolve(name));
        m_all = m_all && function;
    }
    // Later lookups come from another library of the same set.
    void from(QLibrary &library) { m_library = &library; }
    bool all() const { return m_all; }

private:
    QLibrary *m_library;
    bool m_all = true;
};

} // namespace platform
