#pragma once

#include <QStringList>
#include <QtGlobal>

#include <functional>

namespace belvane::testing {

// The messages logged under `category` while `run` runs.
inline QStringList loggedLines(const std::function<void()> &run, const char *category = "belvane.alarm")
{
    static const char *wanted = nullptr;
    static QStringList *lines = nullptr;
    QStringList captured;
    wanted = category;
    lines = &captured;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &text) {
            if (qstrcmp(context.category, wanted) == 0) {
                lines->append(text);
            }
        });
    run();
    qInstallMessageHandler(previous);
    return captured;
}

} // namespace belvane::testing
