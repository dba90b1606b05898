// The registry as the About window reads it: keys below a root, each holding named values of a type
// and some bytes, opened for reading, read into the caller's buffer and closed, with the return codes
// the window tells apart.
#pragma once

#include "arithmetic.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

// The root the game reads, as the game writes it: a 32-bit signed handle.
inline constexpr Int32 HKEY_LOCAL_MACHINE = static_cast<std::int32_t>(0x80000002u);

inline constexpr long ERROR_SUCCESS = 0;
inline constexpr long ERROR_FILE_NOT_FOUND = 2; // no such key, or no such value in it
inline constexpr long ERROR_INVALID_HANDLE = 6; // a key that is not open
inline constexpr long ERROR_MORE_DATA = 234; // the value is longer than the buffer

inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_DWORD = 4;

struct RegValue {
    std::uint32_t type = 0;
    QByteArray data;
};

// Where the values live. Key paths are below a root, parts joined by '\'; names of keys and values
// are compared without regard to case, as the registry does.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    virtual bool HasKey(Int32 root, const QString& path) const = 0;
    virtual std::optional<RegValue> Value(Int32 root, const QString& path, const QString& name) const = 0;
};

// The store the running game reads on this system. There is no registry here, so it shows just what
// the About window looks for: under HKEY_LOCAL_MACHINE, the key
// "SOFTWARE\Microsoft\Shared Tools\MSINFO" with the text value "PATH" naming this system's
// information program, looked up on the PATH afresh at every read; no such key when none is
// installed.
RegistryStore& SystemRegistry();

// The three calls, as the game makes them. A key is opened below a root of the store, for reading
// only, and its handle stays valid until it is closed. The value is read into lpData, a buffer of
// lpcbData bytes; afterwards lpcbData holds the value's size and lpType its type. A value longer
// than the buffer leaves the buffer untouched; with no buffer at all only size and type are told.
long RegOpenKeyExA(const RegistryStore& store, Int32 hKey, const QString& lpSubKey, Int32& phkResult);
long RegQueryValueExA(
    Int32 hKey, const QString& lpValueName, Int32& lpType, std::uint8_t* lpData, Int32& lpcbData);
long RegCloseKey(Int32 hKey);
// How many keys are open right now.
std::size_t OpenRegistryKeys();
