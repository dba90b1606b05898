#include "MemoryRegistry.h"

void MemoryRegistry::SetValue(
    Int32 root, const QString& path, const QString& name, std::uint32_t type, const QByteArray& data)
{
    keys_[{ root.v(), path.toLower() }][name.toLower()] = RegValue { type, data };
}

bool MemoryRegistry::HasKey(Int32 root, const QString& path) const
{
    if (log)
        *log << QStringLiteral("RegOpenKey ") + path;
    return keys_.count({ root.v(), path.toLower() }) > 0;
}

std::optional<RegValue> MemoryRegistry::Value(Int32 root, const QString& path, const QString& name) const
{
    if (log)
        *log << QStringLiteral("RegQueryValue %1|%2").arg(path, name);
    const auto key = keys_.find({ root.v(), path.toLower() });
    if (key == keys_.end())
        return std::nullopt;
    const auto value = key->second.find(name.toLower());
    if (value == key->second.end())
        return std::nullopt;
    return value->second;
}
