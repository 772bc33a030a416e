#include "plugin/addin/unt_addin.h"

#include <algorithm>
#include <new>

#include "plugin/addin/unt_hostedge.h"
#include "plugin/push/unt_hostref.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/push/unt_pushprovider.h"
#include "plugin/push/unt_pushsink.h"
#include "plugin/res/resource.h"
#include "plugin/ui/unt_listnoterender.h"

namespace addin {
namespace {

// Every row asks for its interface with the same flags.
constexpr kv::KvValue kRequirementFlags = 4;

constexpr kv::TInterfaceRequirement kRequirements[] = {
    {"IAddinPort", "6.12", kRequirementFlags},
    {"IXMLProfile", "6.01", kRequirementFlags},
    {"IGallery", "6.02", kRequirementFlags},
    {"IAddin", "6.03", kRequirementFlags},
    {"IFeatureEntry", "6.05", kRequirementFlags},
    {"IFeature", "6.03", kRequirementFlags},
    {"IHelper", "6.06", kRequirementFlags},
    {"IKvSkinUtility", "6.03", kRequirementFlags},
    {"IKvGUIUtility", "6.07", kRequirementFlags},
    {"IKvComm", "6.03", kRequirementFlags},
    {"IKvClient", "6.11", kRequirementFlags},
    {"IKvUser", "6.05", kRequirementFlags},
    {"IKvJob", "6.08", kRequirementFlags},
    {"IControl", "6.01", kRequirementFlags},
    {"IFeatureForMainView", "6.03", kRequirementFlags},
    {"IFeatureForPopView", "6.03", kRequirementFlags},
    {"IFeatureForOption", "6.02", kRequirementFlags},
};

// "group.Push" is only the heading of the plug-in's features.
kv::KvBool GroupHeadingHook(void*, kv::IFeatureEntry*, kv::KvValue, void*, void**) { return 1; }

// Copies min(capacity, count) items when given a buffer; else answers the count.
template <class T, class Item>
int32_t CopyOut(size_t size, T* buffer, int32_t capacity, Item item) {
  const auto count = static_cast<int32_t>(size);
  if (!buffer || capacity <= 0) return count;
  const int32_t n = std::min(capacity, count);
  for (int32_t i = 0; i < n; ++i) buffer[i] = item(static_cast<size_t>(i));
  return n;
}

}  // namespace

// ---------------------------------------------------------------------------
// Feature entries

const char* CFeatureEntry::GetCaption() {
  return HostCall("", [this] {
    if (caption_ < 0x10000) {
      const char* text = owner_->Context().strings->Text(static_cast<uint32_t>(caption_));
      return text ? text : "";
    }
    return reinterpret_cast<const char*>(caption_);
  });
}

const void* CFeatureEntry::GetClassRecord() { return record_ && record_->publish ? record_ : nullptr; }

kv::KvBool CFeatureEntry::CreateFeature(kv::KvValue argument, void* existing, void** out) {
  return HostCall(0, [&] { return Create(argument, existing, out); });
}

kv::KvBool CFeatureEntry::Create(kv::KvValue argument, void* existing, void** out) {
  if (out) *out = nullptr;
  kv::KvBool result = 0;
  if (!owner_->PreCreateFeature(this, argument, existing, out, &result)) return result;
  if (hook_) return hook_(reinterpret_cast<char*>(owner_) + hookOffset_, this, argument, existing, out);
  if (out) *out = existing;

  const bool service = id_ == 1;
  const bool plain = id_ >= 100 && id_ <= 104;
  if (!service && !plain) return 0;
  if (!record_ || !record_->create || !out) return 0;
  void* object = record_->create();
  if (!object) return 0;
  // The header follows the object's first table pointer, as in every
  // feature object; a service feature's service interface follows the header.
  TFeatureHeader& header = HeaderOf(object);
  header.port = owner_->GetPort();
  header.modules = QueryModules(header.port);
  header.addin = owner_;
  header.entry = this;
  header.argument = argument;
  *out = service ? ServiceInterfaceOf(object) : object;
  return 1;
}

// ---------------------------------------------------------------------------
// Add-in

CAddin::CAddin(push::TPluginContext& context, IAddinModule& module)
    : CAddinLink(context), context_(context), module_(module) {
  requirements_.assign(std::begin(kRequirements), std::end(kRequirements));
  const auto add = [this](int32_t id, int32_t placement, const char* name, kv::KvValue caption, FeatureHook hook,
                          const TFeatureClassRecord* record) {
    entries_.push_back(std::make_unique<CFeatureEntry>(this, id, placement, name, caption, hook, 0, record));
  };
  const auto text = [](const char* caption) { return reinterpret_cast<kv::KvValue>(caption); };
  add(106, 1, "group.Push", IDS_PUSH_SERVICE, &GroupHeadingHook, nullptr);
  add(102, -1, "GINA.PUSH", text("PushRegGianExtend"), nullptr, &push::CPushRegGinaExtend::kClassRecord);
  add(1, -1, "PushHelper", text("PushService"), nullptr, &push::CPushProvider::kClassRecord);
  add(104, -1, "Note.ListNoteRender", text("ListNoteRender"), nullptr, &ui::CListNoteRender::kClassRecord);
}

CAddin::~CAddin() { TearDown(); }

void* CAddin::DeletingDestructor(unsigned) {
  // The add-in object is part of the module object, never a heap object of
  // its own: a host that ends it only tears it down; the module frees it.
  TearDown();
  return this;
}

void CAddin::TearDown() {
  if (context_.center.load() == center_.get()) context_.center.store(nullptr);
  sink_.reset();
  listener_.reset();
  center_.reset();
  entries_.clear();
  requirements_.clear();
}

const char* CAddin::GetDescription() {
  return HostCall("", [this] {
    const char* text = context_.strings->Text(IDS_ADDIN_DESCRIPTION);
    return text ? text : "";
  });
}

int32_t CAddin::GetRequiredInterfaces(kv::TInterfaceRequirement* rows, int32_t capacity) {
  return CopyOut(requirements_.size(), rows, capacity, [this](size_t i) { return requirements_[i]; });
}

int32_t CAddin::GetFeatureEntries(kv::IFeatureEntry** entries, int32_t capacity) {
  return CopyOut(entries_.size(), entries, capacity,
                 [this](size_t i) -> kv::IFeatureEntry* { return entries_[i].get(); });
}

kv::KvBool CAddin::Initialize(kv::IAddinPort* port, kv::KvValue, kv::KvValue) {
  port_ = port;
  modules_ = QueryModules(port);
  context_.port.store(port);
  return HostCall(0, [&] {
    // A second Initialize keeps the objects of the first: the host may still
    // hold the callbacks, so they are only registered again.
    if (!center_) center_ = std::make_unique<push::CPushCenter>(*context_.system, *context_.strings);
    context_.center.store(center_.get());
    if (!sink_) sink_ = std::make_unique<push::CPushSink>(context_);
    if (port) port->AddPushSink(sink_.get());
    if (!listener_) listener_ = std::make_unique<push::CJobListener>(context_);
    if (port) port->AddJobListener(listener_.get());
    return 1;
  });
}

kv::KvBool CAddin::Uninitialize() {
  // The host frees its user objects after this; the account table must
  // not keep any of them.
  HostCall([this] {
    if (center_) center_->ReleaseUsers();
  });
  if (!port_) return 0;
  port_->RemovePushSink(sink_.get());
  return port_->RemoveJobListener(listener_.get());
}

kv::KvBool CAddin::PreTranslateModuleMessage(kv::KvHwnd window, void* message) {
  return HostCall(0, [&] {
    IModuleWindow* own = module_.Windows().Find(window);
    return own && own->PreTranslateMessage(message) ? 1 : 0;
  });
}

void CAddin::OnUserLogin(kv::IKvClient* client) {
  HostCall([&] {
    if (!center_) return;
    center_->AddUser(1);
    center_->RightsCheck(client, true);
  });
}

void CAddin::OnUserProfile(kv::IKvClient* client) {
  // Out of memory while reading: the switch keeps its value.
  HostCall([&] {
    if (!client || !center_) return;
    const push::THostRef user(client->GetUser());
    if (!user) return;
    center_->SetShowTiming(ReadShowTiming(user->GetProfile()));
  });
}

kv::KvValue CAddin::OnUserLogout(kv::IKvClient*, kv::KvValue) {
  return HostCall(0, [this]() -> kv::KvValue {
    if (!center_) return 0;
    const int left = center_->RemoveUser(1);
    if (left > 0) return static_cast<kv::KvValue>(left);
    if (sink_) sink_->ForgetService();
    if (!port_) return 0;
    auto* helper = static_cast<kv::IHelper*>(port_->GetModule("PushHelper"));
    if (helper)
      if (auto* service = push::CPushProvider::FromServiceObject(helper->GetServiceObject())) service->ResetTables();
    return reinterpret_cast<kv::KvValue>(helper);
  });
}

kv::KvValue CAddin::OnModuleCommand(uint32_t command, kv::KvValue value, kv::KvValue, kv::KvValue, kv::KvValue) {
  HostCall([&] {
    if (command == kv::kModuleCommandSetResource) module_.SetResourceModule(value);
  });
  return 0;
}

}  // namespace addin
