#include "registry.h"

RegistryStore& SystemRegistry()
{
    static RegistryStore store;
    return store;
}
