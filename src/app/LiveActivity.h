#pragma once

#include <QMetaType>
#include <QString>

namespace app {

// What the live reply block shows while a run is in flight.
struct LiveActivity {
    enum class Kind { Working, Thinking, Writing, WaitingApproval };

    Kind kind = Kind::Thinking;
    QString tool; // the running tool's name; empty unless Working

    static LiveActivity working(QString tool) { return {Kind::Working, std::move(tool)}; }
    static LiveActivity thinking() { return {Kind::Thinking, {}}; }
    static LiveActivity writing() { return {Kind::Writing, {}}; }
    static LiveActivity waitingApproval() { return {Kind::WaitingApproval, {}}; }

    friend bool operator==(const LiveActivity &, const LiveActivity &) = default;
};

} // namespace app

Q_DECLARE_METATYPE(app::LiveActivity)
