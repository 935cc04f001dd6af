#include "settings/object_factory.h"

#include "settings/config_object.h"

namespace {

ObjectFactory g_factory;

}  // namespace

void RegisterObjectFactory(ObjectCreateFn create, ObjectDestroyFn destroy) {
  g_factory.create = create;
  g_factory.destroy = destroy;
}

const ObjectFactory& RegisteredObjectFactory() { return g_factory; }

ConfigObject* FactoryCreate(const std::string& type) {
  return g_factory.create ? g_factory.create(type) : nullptr;
}

void FactoryDestroy(ConfigObject* object) {
  if (!object) return;
  if (g_factory.destroy)
    g_factory.destroy(object);
  else
    delete object;
}
