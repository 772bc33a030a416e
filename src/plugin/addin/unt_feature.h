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

struct TFeatureHeader {
  kv::IAddinPort* port = nullptr;
  THostModules modules;
  kv::IAddin* addin = nullptr;
  kv::KvValue reserved = 0;
  kv::IFeatureEntry* entry = nullptr;
  kv::KvValue argument = 0;  // the creation argument; a window feature's parent window
};

// A feature object as its feature entry sees it. The host sees only the
// interface that FeatureInterface answers and ends the object through it.
class CPluginFeature {
 public:
  virtual ~CPluginFeature() = default;
  virtual void* FeatureInterface() = 0;
  TFeatureHeader header;
};

struct TFeatureClassRecord {
  const char* className;
  uint32_t objectSize;
  uint32_t publish;  // nonzero: the entry hands the record to the host
  CPluginFeature* (*create)(push::TPluginContext& context);
};

}  // namespace addin
