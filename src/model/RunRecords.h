#pragma once

#include "model/RawEnum.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <array>
#include <optional>

namespace model {

enum class ToolRisk { Read, Write, Shell };
inline constexpr std::array kAllToolRisks{ToolRisk::Read, ToolRisk::Write, ToolRisk::Shell};
QString toRaw(ToolRisk risk);
template <>
std::optional<ToolRisk> fromRaw<ToolRisk>(QStringView raw);

// One line of the tool activity log. Every status change of a call is sent
// again with the same id; receivers replace the line with that id.
struct ToolLogEntry {
    enum class Status { Pending, Approved, Denied, Running, Success, Failure };

    QUuid id;
    QDateTime timestamp;
    QString name;
    QString argumentsPreview;
    QString resultPreview;
    Status status = Status::Pending;

    friend bool operator==(const ToolLogEntry &, const ToolLogEntry &) = default;
};
inline constexpr std::array kAllToolLogStatuses{
    ToolLogEntry::Status::Pending, ToolLogEntry::Status::Approved, ToolLogEntry::Status::Denied,
    ToolLogEntry::Status::Running, ToolLogEntry::Status::Success,  ToolLogEntry::Status::Failure};
QString toRaw(ToolLogEntry::Status status);
template <>
std::optional<ToolLogEntry::Status> fromRaw<ToolLogEntry::Status>(QStringView raw);

// A tool call stopped until the user answers.
struct PendingApproval {
    QString id; // the service's tool call id
    QString name;
    QString argumentsJSON;
    ToolRisk risk = ToolRisk::Read;
    QString preview;
    QString summary;

    friend bool operator==(const PendingApproval &, const PendingApproval &) = default;
};

struct StagedAttachment {
    QUuid id;
    QUrl url;
    QString displayPath;
    qint64 byteCount = 0;
    bool isImage = false;
    qint64 originalByteCount = 0;
    std::optional<QString> mimeType;
    bool isOwnedTemp = false;
    std::optional<QString> inlineContent;

    friend bool operator==(const StagedAttachment &, const StagedAttachment &) = default;
};

// The controller's copy of a staged attachment, shown as a composer chip.
struct AttachedFile {
    QUuid id;
    QUrl url;
    QString displayPath;
    std::optional<QString> inlineContent;
    qint64 byteCount = 0;
    bool isImage = false;
    std::optional<QString> mimeType;
    bool isOwnedTemp = false;
    qint64 originalByteCount = 0;

    static AttachedFile fromStaged(const StagedAttachment &s);
    StagedAttachment toStaged() const;

    friend bool operator==(const AttachedFile &, const AttachedFile &) = default;
};

// A project file shown read-only in the peek panel.
struct PeekedFile {
    QUuid id;
    QUrl url;
    QString displayPath;
    std::optional<QString> content;
    bool isBinary = false;
    qint64 byteCount = 0;
    qint64 lineCount = 0;
    std::optional<QString> errorMessage;

    friend bool operator==(const PeekedFile &, const PeekedFile &) = default;
};

} // namespace model

Q_DECLARE_METATYPE(model::ToolLogEntry)
Q_DECLARE_METATYPE(model::PendingApproval)
