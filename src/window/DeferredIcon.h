#pragma once

#include <QIcon>

#include <functional>

namespace window {

// An icon made only when it is first drawn or measured: the stock icons a
// widget takes as it is built (the menu bar's overflow arrow) are read from
// image files, and reading any such file loads every image plugin installed.
// Never null, so nothing asks for it merely to see whether it is there.
QIcon deferredIcon(std::function<QIcon()> make);

} // namespace window
