#pragma once

class QEvent;
class QKeyEvent;

namespace glass {

// The keys an open sheet keeps for itself: plain Escape, Return and Enter
// (a keypad key counts as plain).
namespace SheetKeys {

// Plain Return or Enter.
bool isAccept(const QKeyEvent &key);

// Plain Escape, Return or Enter.
bool isSheetKey(const QKeyEvent &key);

// For event(): accepts a ShortcutOverride of a sheet key, so no window
// shortcut takes it first. True when the event was claimed.
bool claimShortcutOverride(QEvent *event);

} // namespace SheetKeys
} // namespace glass
