#include "registry.h"

#include <QStandardPaths>

#include <unistd.h>

namespace {

std::uint32_t Bits(Long x)
{
    return static_cast<std::uint32_t>(x.v());
}

QString Folded(const QString& name)
{
    return name.toLower();
}

// The path of a key opened below another; the stores compare it without regard to case.
QString Below(const QString& parent, const QString& sub)
{
    if (parent.isEmpty())
        return sub;
    if (sub.isEmpty())
        return parent;
    return parent + QLatin1Char('\\') + sub;
}

// True when `path` is `key` or one of the keys above it.
bool OnTheWayTo(const QString& key, const QString& path)
{
    return path.isEmpty() || key == path || key.startsWith(path + QLatin1Char('\\'));
}

bool IsRoot(std::uint32_t h)
{
    return h >= 0x80000000u && h <= 0x80000005u;
}

constexpr std::uint32_t ReadBits = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY | READ_CONTROL;
constexpr int REG_OPTION_OPEN_LINK = 8;

struct OpenKey {
    RegistryStore* store;
    std::uint32_t root;
    QString path;
    std::uint32_t granted;
};

// Handles are small numbers apart from the roots' range, so a stale or made-up one is seen as such.
std::map<std::int32_t, OpenKey>& Handles()
{
    static std::map<std::int32_t, OpenKey> handles;
    return handles;
}

std::int32_t NextHandle()
{
    static std::int32_t next = 0x100;
    do
        next = next >= 0x3ffffffc ? 0x100 : next + 4;
    while (Handles().count(next));
    return next;
}

const QString InfoKey = QStringLiteral("software\\microsoft\\shared tools\\msinfo");

} // namespace

// ---- the store in memory

MemoryRegistry::Key& MemoryRegistry::Make(Long root, const QString& path)
{
    return keys_[{ Bits(root), Folded(path) }];
}

void MemoryRegistry::SetValue(
    Long root, const QString& path, const QString& name, std::uint32_t type, const QByteArray& data)
{
    Make(root, path).values[Folded(name)] = RegValue { type, data };
}

void MemoryRegistry::SetString(
    Long root, const QString& path, const QString& name, const QString& text, bool terminated)
{
    QByteArray data = text.toLocal8Bit();
    if (terminated)
        data.append('\0');
    SetValue(root, path, name, REG_SZ, data);
}

void MemoryRegistry::SetDword(Long root, const QString& path, const QString& name, std::uint32_t value)
{
    QByteArray data;
    for (int i = 0; i < 4; ++i)
        data.append(static_cast<char>((value >> (8 * i)) & 0xff));
    SetValue(root, path, name, REG_DWORD, data);
}

void MemoryRegistry::SetAccess(Long root, const QString& path, RegAccess access)
{
    Make(root, path).access = access;
}

bool MemoryRegistry::HasKey(std::uint32_t root, const QString& path) const
{
    if (log)
        *log << QStringLiteral("RegOpenKey ") + path;
    const QString p = Folded(path);
    for (const auto& [where, key] : keys_)
        if (where.first == root && OnTheWayTo(where.second, p))
            return true;
    return path.isEmpty() && IsRoot(root);
}

RegAccess MemoryRegistry::Access(std::uint32_t root, const QString& path) const
{
    const auto it = keys_.find({ root, Folded(path) });
    return it == keys_.end() ? RegAccess {} : it->second.access;
}

std::optional<RegValue> MemoryRegistry::Value(
    std::uint32_t root, const QString& path, const QString& name) const
{
    if (log)
        *log << QStringLiteral("RegQueryValue %1|%2").arg(path, name);
    const auto it = keys_.find({ root, Folded(path) });
    if (it == keys_.end())
        return std::nullopt;
    const auto value = it->second.values.find(Folded(name));
    if (value == it->second.values.end())
        return std::nullopt;
    return value->second;
}

// ---- the store of this system

QString SystemStore::InfoProgram()
{
    for (const char* name : { "hardinfo", "kinfocenter" }) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

bool SystemStore::HasKey(std::uint32_t root, const QString& path) const
{
    if (!IsRoot(root))
        return false;
    if (path.isEmpty())
        return true;
    return root == Bits(HKEY_LOCAL_MACHINE) && OnTheWayTo(InfoKey, Folded(path)) && !InfoProgram().isEmpty();
}

RegAccess SystemStore::Access(std::uint32_t, const QString&) const
{
    return RegAccess { true, geteuid() == 0 };
}

std::optional<RegValue> SystemStore::Value(std::uint32_t root, const QString& path, const QString& name) const
{
    if (root != Bits(HKEY_LOCAL_MACHINE) || Folded(path) != InfoKey || Folded(name) != QLatin1String("path"))
        return std::nullopt;
    const QString program = InfoProgram();
    if (program.isEmpty())
        return std::nullopt;
    return RegValue { REG_SZ, program.toLocal8Bit() + QByteArray(1, '\0') };
}

RegistryStore& SystemRegistry()
{
    static SystemStore store;
    return store;
}

// ---- the calls

long RegOpenKeyExA(RegistryStore& store, Long hKey, const QString& lpSubKey, Long ulOptions, Long samDesired,
    Long& phkResult)
{
    phkResult = 0;
    RegistryStore* from = &store;
    std::uint32_t root = Bits(hKey);
    QString path;
    if (!IsRoot(root)) {
        const auto it = Handles().find(hKey.v());
        if (it == Handles().end())
            return ERROR_INVALID_HANDLE;
        from = it->second.store;
        root = it->second.root;
        path = it->second.path;
    }
    if (ulOptions != 0 && ulOptions != REG_OPTION_OPEN_LINK)
        return ERROR_INVALID_PARAMETER;
    // A leading separator names no key; the registry refuses it rather than guess.
    if (lpSubKey.startsWith(QLatin1Char('\\')))
        return ERROR_FILE_NOT_FOUND;
    path = Below(path, lpSubKey);
    if (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    if (!from->HasKey(root, path))
        return ERROR_FILE_NOT_FOUND;

    const std::uint32_t wanted = Bits(samDesired);
    const RegAccess rights = from->Access(root, path);
    if (((wanted & ReadBits) && !rights.read) || ((wanted & KEY_WRITE_BITS) && !rights.write))
        return ERROR_ACCESS_DENIED;

    const std::int32_t handle = NextHandle();
    Handles()[handle] = OpenKey { from, root, path, wanted };
    phkResult = handle;
    return ERROR_SUCCESS;
}

long RegQueryValueExA(Long hKey, const QString& lpValueName, Long lpReserved, Long* lpType,
    std::uint8_t* lpData, Long* lpcbData)
{
    const auto it = Handles().find(hKey.v());
    if (it == Handles().end())
        return ERROR_INVALID_HANDLE;
    if (lpReserved != 0 || (lpData && !lpcbData))
        return ERROR_INVALID_PARAMETER;
    const OpenKey& key = it->second;
    if (!(key.granted & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    const std::optional<RegValue> value = key.store->Value(key.root, key.path, lpValueName);
    if (!value)
        return ERROR_FILE_NOT_FOUND;

    if (lpType)
        *lpType = static_cast<std::int32_t>(value->type);
    const qsizetype size = value->data.size();
    if (!lpcbData)
        return ERROR_SUCCESS;
    const qsizetype room = lpcbData->v();
    *lpcbData = static_cast<std::int32_t>(size);
    if (!lpData)
        return ERROR_SUCCESS;
    // Too little room: nothing is written, and the caller learns how much it would take.
    if (room < size)
        return ERROR_MORE_DATA;
    std::copy_n(reinterpret_cast<const std::uint8_t*>(value->data.constData()), size, lpData);
    return ERROR_SUCCESS;
}

std::size_t OpenRegistryKeys()
{
    return Handles().size();
}

long RegCloseKey(Long hKey)
{
    if (IsRoot(Bits(hKey)))
        return ERROR_SUCCESS;
    return Handles().erase(hKey.v()) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
