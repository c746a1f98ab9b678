#include "ZekSdkLoader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {
// What a build of ZEKSDK.h is called: its SONAME, or the DLL's name on Windows.
#ifdef Q_OS_WIN
constexpr char kFileName[] = "ZEKSDK.dll";
#else
constexpr char kFileName[] = "libZEKSDK.so.1";
#endif

void tell(const QString &file, const QString &why)
{
    std::fprintf(stderr, "Vendor library %s: %s\n", qPrintable(QDir::toNativeSeparators(file)), qPrintable(why));
}

QString programFolder()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // A C program has no QCoreApplication. On Windows the system's own search covers the
    // program's folder, so only Linux needs this.
    const QString program = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return program.isEmpty() ? QString() : QFileInfo(program).absolutePath();
}

// The program's own folder, then the package's private folder beside its bin/ (installed:
// <prefix>/bin -> <prefix>/lib/corvane), then one level further up (the build tree, whose
// programs sit one or two folders below build/lib/corvane).
QStringList usualPlaces()
{
    const QString program = programFolder();
    if (program.isEmpty())
        return {};
    const QString name = QString::fromLatin1(kFileName);
    const QString privateFolder = QStringLiteral(CORVANE_ZEKSDK_DIR "/") + name;
    return {program + QLatin1Char('/') + name, program + QStringLiteral("/../") + privateFolder,
            program + QStringLiteral("/../../") + privateFolder};
}

template<typename Expected, typename Fn>
bool resolve(QLibrary &library, const char *name, Fn &slot, QString &why)
{
    static_assert(std::is_same_v<Fn, Expected>, "the table must match ZEKSDK.h");
    slot = reinterpret_cast<Fn>(library.resolve(name));
    if (!slot)
        why = QStringLiteral("has no function %1").arg(QLatin1String(name));
    return slot != nullptr;
}

bool open(const QString &file, ZekSdk &sdk, QString &why)
{
    QLibrary library(file);
    // Every symbol bound now: a broken build fails here, not in the middle of a search.
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library.load()) {
        why = library.errorString();
        return false;
    }
    // Left loaded when the QLibrary goes: the program keeps the functions for its whole run.
#define ZEK_RESOLVE(function) resolve<decltype(&::function)>(library, #function, sdk.function, why)
    const bool complete = ZEK_RESOLVE(ZEKSDKInitialize) && ZEK_RESOLVE(ZEKSDKInvalidate) && ZEK_RESOLVE(ZEKCBCreate)
                          && ZEK_RESOLVE(ZEKDevice_Search) && ZEK_RESOLVE(ZEKCBDelete) && ZEK_RESOLVE(ZEKDevice_Create)
                          && ZEK_RESOLVE(ZEKDevice_Open) && ZEK_RESOLVE(ZEKDevice_RebootDevice)
                          && ZEK_RESOLVE(ZEKDevice_FactoryReset) && ZEK_RESOLVE(ZEKDevice_Close)
                          && ZEK_RESOLVE(ZEKDevice_Delete) && ZEK_RESOLVE(ZEKDevice_ModifyNetwork);
#undef ZEK_RESOLVE
    if (!complete)
        return false;
    const QByteArray name = QFile::encodeName(QDir::toNativeSeparators(library.fileName()));
    std::strncpy(sdk.file, name.constData(), sizeof sdk.file - 1);
    return true;
}

bool load(ZekSdk &sdk, const char *file)
{
    QString chosen = file ? QFile::decodeName(file) : QString();
    if (chosen.isEmpty())
        chosen = qEnvironmentVariable("CORVANE_ZEKSDK");
    const QStringList places = chosen.isEmpty() ? usualPlaces() : QStringList{chosen};
    for (const QString &place : places) {
        QFileInfo info(QDir::cleanPath(place));
        if (info.isDir())
            info.setFile(info.filePath() + QLatin1Char('/') + QString::fromLatin1(kFileName));
        // A named file is the only candidate; of the usual places, the first that holds one.
        if (!info.exists()) {
            if (!chosen.isEmpty())
                tell(info.filePath(), QStringLiteral("no such file"));
            continue;
        }
        QString why;
        if (open(info.absoluteFilePath(), sdk, why))
            return true;
        tell(info.absoluteFilePath(), why);
        return false;
    }
    // Last, wherever the dynamic linker looks (LD_LIBRARY_PATH, the system's folders).
    QString why;
    return chosen.isEmpty() && open(QString::fromLatin1(kFileName), sdk, why);
}
} // namespace

extern "C" int ZekSdkLoad(ZekSdk *sdk, const char *file)
{
    if (!sdk)
        return 0;
    *sdk = ZekSdk{};
    bool loaded = false;
    try {
        loaded = load(*sdk, file);
    } catch (...) {
        loaded = false;
    }
    if (loaded)
        return 1;
    *sdk = ZekSdk{};
    std::fputs("Vendor library not found: devices of the second family will not be searched\n", stderr);
    std::fflush(stderr);
    return 0;
}
