// Object factory of the configuration tree: children are only ever created
// through the registered create function; with none registered no child is
// created.
#pragma once

#include <string>

class ConfigObject;

using ObjectCreateFn = ConfigObject* (*)(const std::string& type);
using ObjectDestroyFn = void (*)(ConfigObject* object);

struct ObjectFactory {
  ObjectCreateFn create = nullptr;
  ObjectDestroyFn destroy = nullptr;
};

void RegisterObjectFactory(ObjectCreateFn create, ObjectDestroyFn destroy);
const ObjectFactory& RegisteredObjectFactory();
// Through the registered functions: nullptr when none is registered or the type
// is unknown; FactoryDestroy falls back to delete when no destroy is registered.
ConfigObject* FactoryCreate(const std::string& type);
void FactoryDestroy(ConfigObject* object);
