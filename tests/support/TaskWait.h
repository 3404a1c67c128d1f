#pragma once

#include <QCoroTask>
#include <QEventLoop>

#include <optional>

namespace testsupport {

namespace detail {
template <typename T>
QCoro::Task<void> storeResult(QCoro::Task<T> task, std::optional<T> *out, QEventLoop *loop)
{
    out->emplace(co_await std::move(task));
    loop->quit();
}
} // namespace detail

// Runs the event loop until the task is done; works for results that have no
// default value.
template <typename T>
T waitForTask(QCoro::Task<T> task)
{
    std::optional<T> out;
    QEventLoop loop;
    detail::storeResult(std::move(task), &out, &loop);
    if (!out)
        loop.exec();
    return std::move(*out);
}

} // namespace testsupport
