// A small registry: keys below a few roots, each holding named values of a type and some bytes, read
// through the three calls the game makes and with the return codes it expects of them.
#pragma once

#include "basic.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

// Roots, as the game writes them: 32-bit signed handles.
inline constexpr Long HKEY_CLASSES_ROOT = static_cast<std::int32_t>(0x80000000u);
inline constexpr Long HKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001u);
inline constexpr Long HKEY_LOCAL_MACHINE = static_cast<std::int32_t>(0x80000002u);
inline constexpr Long HKEY_USERS = static_cast<std::int32_t>(0x80000003u);

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2;
inline constexpr long ERROR_ACCESS_DENIED = 5;
inline constexpr long ERROR_INVALID_HANDLE = 6;
inline constexpr long ERROR_INVALID_PARAMETER = 87;
inline constexpr long ERROR_MORE_DATA = 234;

inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;

inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr std::uint32_t KEY_NOTIFY = 0x0010;
inline constexpr std::uint32_t KEY_CREATE_LINK = 0x0020;
inline constexpr std::uint32_t DELETE_ACCESS = 0x10000;
inline constexpr std::uint32_t READ_CONTROL = 0x20000;
inline constexpr std::uint32_t WRITE_DAC = 0x40000;
inline constexpr std::uint32_t WRITE_OWNER = 0x80000;
inline constexpr std::uint32_t KEY_READ
    = READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
// Everything short of deleting the key or changing who owns it.
inline constexpr std::uint32_t KEY_READ_WRITE
    = KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;
// The bits that need the right to change the key.
inline constexpr std::uint32_t KEY_WRITE_BITS
    = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE_ACCESS | WRITE_DAC | WRITE_OWNER;

struct RegValue {
    std::uint32_t type = REG_NONE;
    QByteArray data;
};

struct RegAccess {
    bool read = true;
    bool write = true;
};

// Where the values live. Key paths are below a root, parts joined by '\'; names of keys and values
// are compared without regard to case, as the registry does.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    // A key exists when it was made, or when a key below it was.
    virtual bool HasKey(std::uint32_t root, const QString& path) const = 0;
    virtual RegAccess Access(std::uint32_t root, const QString& path) const = 0;
    virtual std::optional<RegValue> Value(
        std::uint32_t root, const QString& path, const QString& name) const = 0;
};

// A store held in memory and filled by hand, each key with its own rights.
class MemoryRegistry : public RegistryStore {
public:
    void SetValue(
        Long root, const QString& path, const QString& name, std::uint32_t type, const QByteArray& data);
    // Text in the system's code page, with its terminating zero unless told otherwise.
    void SetString(
        Long root, const QString& path, const QString& name, const QString& text, bool terminated = true);
    void SetDword(Long root, const QString& path, const QString& name, std::uint32_t value);
    // Makes the key if needed and gives it these rights.
    void SetAccess(Long root, const QString& path, RegAccess access);
    void Clear() { keys_.clear(); }
    // When set, every key opened and value read is written down here, for tests that check the order.
    QStringList* log = nullptr;

    bool HasKey(std::uint32_t root, const QString& path) const override;
    RegAccess Access(std::uint32_t root, const QString& path) const override;
    std::optional<RegValue> Value(
        std::uint32_t root, const QString& path, const QString& name) const override;

private:
    struct Key {
        RegAccess access;
        std::map<QString, RegValue> values; // by lower-cased name
    };
    Key& Make(Long root, const QString& path);
    std::map<std::pair<std::uint32_t, QString>, Key> keys_; // by root and lower-cased path
};

// The store the running game reads on this system. There is no registry here, so it shows just what
// the About window looks for: under HKEY_LOCAL_MACHINE, the key
// "SOFTWARE\Microsoft\Shared Tools\MSINFO" with the text value "PATH" naming this system's
// information program, looked up on the PATH afresh at every read; no such key when none is
// installed. Everyone may read it; only root may change it.
class SystemStore : public RegistryStore {
public:
    bool HasKey(std::uint32_t root, const QString& path) const override;
    RegAccess Access(std::uint32_t root, const QString& path) const override;
    std::optional<RegValue> Value(
        std::uint32_t root, const QString& path, const QString& name) const override;

    // The information program found on the PATH, or "" when there is none.
    static QString InfoProgram();
};

RegistryStore& SystemRegistry();

// The three calls, as the game makes them. A key opened from a root or from an open key names the
// store it reads; the handle stays valid until it is closed. Sizes and types are 32-bit, data a byte
// buffer of *lpcbData bytes (or none, to learn the size).
long RegOpenKeyExA(RegistryStore& store, Long hKey, const QString& lpSubKey, Long ulOptions, Long samDesired,
    Long& phkResult);
long RegQueryValueExA(Long hKey, const QString& lpValueName, Long lpReserved, Long* lpType,
    std::uint8_t* lpData, Long* lpcbData);
long RegCloseKey(Long hKey);
// How many keys are open right now.
std::size_t OpenRegistryKeys();
