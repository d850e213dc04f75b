#pragma once

#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <utility>

namespace belvane::testing {

// The messages logged under `category` while `run` runs.
inline QStringList loggedLines(const std::function<void()> &run, const char *category = "belvane.alarm")
{
    static std::pair<const char *, QStringList *> into; // the category wanted, and where its lines go
    QStringList captured;
    into = {category, &captured};
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &context, const QString &text) {
            if (qstrcmp(context.category, into.first) == 0) {
                into.second->append(text);
            }
        });
    run();
    qInstallMessageHandler(previous);
    return captured;
}

} // namespace belvane::testing
