// A registry held in memory and filled by hand, so a test decides which keys and values the About
// window finds, and can read in which order it looked.
#pragma once

#include "registry.h"

#include <QStringList>

#include <map>
#include <utility>

class MemoryRegistry : public RegistryStore {
public:
    // Makes the key if needed.
    void SetValue(
        Int32 root, const QString& path, const QString& name, std::uint32_t type, const QByteArray& data);
    // When set, every key opened and value read is written down here, as "RegOpenKey path" and
    // "RegQueryValue path|name".
    QStringList* log = nullptr;

    bool HasKey(Int32 root, const QString& path) const override;
    std::optional<RegValue> Value(Int32 root, const QString& path, const QString& name) const override;

private:
    using Values = std::map<QString, RegValue>; // by lower-cased name
    std::map<std::pair<std::int32_t, QString>, Values> keys_; // by root and lower-cased path
};
