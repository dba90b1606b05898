// A small registry: keys under a root, each holding named values of a type and some bytes.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>

class RegistryStore {
public:
    virtual ~RegistryStore() = default;
};

// The store the running game reads on this system.
RegistryStore& SystemRegistry();
