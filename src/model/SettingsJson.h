#pragma once

#include "model/JsonDecodeError.h"
#include "model/SettingsRecords.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>

namespace model {

// settings.json: one compact object. Every key is written; "toolGuardMode"
// only when set. Anyone who writes the file uses this form.
QByteArray encodeSettings(const AppSettings &settings);

// Missing and null keys take their per-key defaults (a file without
// "hasCompletedOnboarding" counts as onboarded; without "toolGuardMode" the
// level is derived from the older fields). A present value of the wrong
// type or an unknown raw text fails the whole record. Numbers are kept as
// read: bounds belong to the code that uses them.
[[nodiscard]] platform::Result<AppSettings, JsonDecodeError> decodeSettings(QByteArrayView json);

} // namespace model
