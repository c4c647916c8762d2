#include "settings/RegistryStore.h"

#include "settings/RegistryFileStore.h"

namespace {
RegistryStore::Factory &defaultFactory()
{
    static RegistryStore::Factory factory;
    return factory;
}
} // namespace

RegistryStore::~RegistryStore() = default;

std::shared_ptr<RegistryStore> RegistryStore::createDefault()
{
    if (const auto &factory = defaultFactory())
        return factory();
    return std::make_shared<RegistryFileStore>();
}

void RegistryStore::setDefaultFactory(Factory factory)
{
    defaultFactory() = std::move(factory);
}
