// The stand-in host's objects as the plug-in's own declarations see them:
// the host declares the protocol independently, so an in-process test hands
// its objects over as the real host does, as addresses of their tables.
#pragma once

#include <cstddef>
#include <type_traits>

#include "plugin/addin/kvaddin.h"
#include "sim/host/host_objects.h"
#include "sim/host/host_profile.h"

namespace testing_support {

inline kv::IKvClient* Kv(simhost::CHostClient& c) { return static_cast<kv::IKvClient*>(c.Abi()); }
inline kv::IKvClient* Kv(simhost::CHostClient* c) { return c ? Kv(*c) : nullptr; }
inline kv::IKvUser* Kv(simhost::CHostUser& u) { return static_cast<kv::IKvUser*>(u.Abi()); }
inline kv::IKvUser* Kv(simhost::CHostUser* u) { return u ? Kv(*u) : nullptr; }
inline kv::IKvJob* Kv(simhost::CHostJob& j) { return static_cast<kv::IKvJob*>(j.Abi()); }
inline kv::IKvJob* Kv(simhost::CHostJob* j) { return j ? Kv(*j) : nullptr; }
inline kv::IKvJobEvent* Kv(simhost::CHostJobEvent& e) { return static_cast<kv::IKvJobEvent*>(e.Abi()); }
inline kv::IKvLoginEvent* Kv(simhost::CHostLoginEvent& e) { return static_cast<kv::IKvLoginEvent*>(e.Abi()); }
inline kv::IAddinPort* Kv(simhost::CHostPort& p) { return static_cast<kv::IAddinPort*>(p.Abi()); }
inline kv::IKvNoteUtility* Kv(simhost::CHostNoteUtility& n) { return static_cast<kv::IKvNoteUtility*>(n.Abi()); }
inline kv::IHelper* Kv(simhost::CHostSubscriber& s) { return static_cast<kv::IHelper*>(s.Abi()); }
inline kv::IXMLProfile* Kv(simhost::CHostProfile& p) { return static_cast<kv::IXMLProfile*>(p.Abi()); }
inline kv::IFeatureView* Kv(simhost::CHostFeatureView& v) { return static_cast<kv::IFeatureView*>(v.Abi()); }

// Objects that already are the plug-in's.
template <class T>
  requires std::is_abstract_v<T>
T* Kv(T* object) {
  return object;
}
inline std::nullptr_t Kv(std::nullptr_t) { return nullptr; }
template <class C>
  requires(!std::is_abstract_v<C>)
auto Kv(C* object) -> decltype(Kv(*object)) {
  return object ? Kv(*object) : nullptr;
}

// The callbacks the plug-in registered with the stand-in port.
inline kv::IPushSink* SinkOf(simhost::CHostPort& p) { return static_cast<kv::IPushSink*>(p.Sink()); }
inline kv::IJobListener* ListenerOf(simhost::CHostPort& p) { return static_cast<kv::IJobListener*>(p.Listener()); }

}  // namespace testing_support
