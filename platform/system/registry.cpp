#include "registry.h"

#include <QStandardPaths>

#include <algorithm>
#include <limits>
#include <map>

namespace {

struct OpenKey {
    const RegistryStore* store;
    Int32 root;
    QString path;
};

std::map<std::int32_t, OpenKey>& Handles()
{
    static std::map<std::int32_t, OpenKey> handles;
    return handles;
}

// Handles count up from 1, apart from the roots, which are negative, so a closed key's handle is
// not handed out again while the game runs and a stale one is seen as such.
std::int32_t NextHandle()
{
    static std::int32_t last = 0;
    do
        last = last == std::numeric_limits<std::int32_t>::max() ? 1 : last + 1;
    while (Handles().count(last));
    return last;
}

const QString InfoKey = QStringLiteral("software\\microsoft\\shared tools\\msinfo");

// The information program found on the PATH, or "" when there is none.
QString InfoProgram()
{
    for (const char* name : { "hardinfo", "kinfocenter" }) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

class SystemStore : public RegistryStore {
public:
    bool HasKey(Int32 root, const QString& path) const override
    {
        return root == HKEY_LOCAL_MACHINE && path.toLower() == InfoKey && !InfoProgram().isEmpty();
    }

    std::optional<RegValue> Value(Int32 root, const QString& path, const QString& name) const override
    {
        if (root != HKEY_LOCAL_MACHINE || path.toLower() != InfoKey
            || name.toLower() != QLatin1String("path"))
            return std::nullopt;
        const QString program = InfoProgram();
        if (program.isEmpty())
            return std::nullopt;
        return RegValue { REG_SZ, program.toLocal8Bit() + QByteArray(1, '\0') };
    }
};

} // namespace

RegistryStore& SystemRegistry()
{
    static SystemStore store;
    return store;
}

long RegOpenKeyExA(const RegistryStore& store, Int32 hKey, const QString& lpSubKey, Int32& phkResult)
{
    phkResult = 0;
    if (!store.HasKey(hKey, lpSubKey))
        return ERROR_FILE_NOT_FOUND;
    const std::int32_t handle = NextHandle();
    Handles().emplace(handle, OpenKey { &store, hKey, lpSubKey });
    phkResult = handle;
    return ERROR_SUCCESS;
}

long RegQueryValueExA(
    Int32 hKey, const QString& lpValueName, Int32& lpType, std::uint8_t* lpData, Int32& lpcbData)
{
    const auto it = Handles().find(hKey.v());
    if (it == Handles().end())
        return ERROR_INVALID_HANDLE;
    const OpenKey& key = it->second;
    const std::optional<RegValue> value = key.store->Value(key.root, key.path, lpValueName);
    if (!value)
        return ERROR_FILE_NOT_FOUND;

    const qsizetype room = lpcbData.v();
    lpType = static_cast<std::int32_t>(value->type);
    lpcbData = value->data.size();
    if (!lpData)
        return ERROR_SUCCESS;
    if (room < value->data.size())
        return ERROR_MORE_DATA;
    std::copy_n(reinterpret_cast<const std::uint8_t*>(value->data.constData()), value->data.size(), lpData);
    return ERROR_SUCCESS;
}

long RegCloseKey(Int32 hKey)
{
    return Handles().erase(hKey.v()) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::size_t OpenRegistryKeys()
{
    return Handles().size();
}
