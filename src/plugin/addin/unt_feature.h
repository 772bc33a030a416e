// What every feature object of the plug-in carries: the header the feature
// entry fills at creation, and the class record the entry creates it from.
#pragma once

#include <cstdint>

#include "plugin/addin/kvaddin.h"

namespace push {
struct TPluginContext;
}

namespace addin {

// The host modules the plug-in asks the port for by name.
struct THostModules {
  kv::IKvSkinUtility* skin = nullptr;
  kv::IKvGUIUtility* gui = nullptr;
  kv::IKvComm* comm = nullptr;
  kv::IKvGina* gina = nullptr;
  kv::IKvNoteUtility* note = nullptr;
};

// Asks the port for the five modules, in this order; all null without a port.
inline THostModules QueryModules(kv::IAddinPort* port) {
  THostModules modules;
  if (!port) return modules;
  modules.skin = static_cast<kv::IKvSkinUtility*>(port->GetModule("KvSkinUtility"));
  modules.gui = static_cast<kv::IKvGUIUtility*>(port->GetModule("KvGUIUtility"));
  modules.comm = static_cast<kv::IKvComm*>(port->GetModule("KvComm"));
  modules.gina = static_cast<kv::IKvGina*>(port->GetModule("KvGina"));
  modules.note = static_cast<kv::IKvNoteUtility*>(port->GetModule("KvNoteUtility"));
  return modules;
}

// The add-in object as its features reach it through their header. It is
// the object itself, at the address Addin_GetObject answers (the host may
// compare the header's word with it), and carries the plug-in's context.
class CAddinLink : public kv::IAddin {
 public:
  push::TPluginContext& Context() const { return *context_; }

 protected:
  explicit CAddinLink(push::TPluginContext& context) : context_(&context) {}
  ~CAddinLink() = default;

 private:
  push::TPluginContext* context_;
};

// What every feature interface object carries right after its interface
// table pointer (for a service feature: after the object's primary table
// pointer, followed by the service interface).
struct TFeatureHeader {
  kv::IAddinPort* port = nullptr;
  THostModules modules;
  const CAddinLink* addin = nullptr;
  kv::KvValue reserved = 0;
  kv::IFeatureEntry* entry = nullptr;
  kv::KvValue argument = 0;  // the creation argument; a window feature's parent window
};
static_assert(sizeof(TFeatureHeader) == 10 * sizeof(void*), "ten words: 40 bytes in the 32-bit plug-in");

// The header of the object a class record's create function made: it
// follows the first table pointer.
inline TFeatureHeader& HeaderOf(void* object) {
  return *reinterpret_cast<TFeatureHeader*>(static_cast<char*>(object) + sizeof(void*));
}
// The service interface of a service feature's object: after its header.
inline void* ServiceInterfaceOf(void* object) {
  return static_cast<char*>(object) + sizeof(void*) + sizeof(TFeatureHeader);
}

struct TFeatureClassRecord {
  const char* className;
  uint32_t objectSize;
  uint32_t publish;  // nonzero: the entry hands the record to the host
  // A new object: for a service feature the object, for a plain feature
  // its feature interface; null when memory runs out.
  void* (*create)();
};

}  // namespace addin
