#include "ProgramFolder.h"

#include "Cp932.h"

#include <QCoreApplication>
#include <QFile>

namespace belvane {

ProgramFolder ProgramFolder::FromNative(std::string nativePath)
{
    if (nativePath.empty() || nativePath.back() != '/') {
        nativePath += '/';
    }
    ProgramFolder folder;
    folder.cp932 = cp932::fromNativePath(nativePath);
    folder.native = std::move(nativePath);
    return folder;
}

ProgramFolder ExecutableFolder()
{
    return ProgramFolder::FromNative(QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString());
}

} // namespace belvane
