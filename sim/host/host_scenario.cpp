#include "sim/host/host_scenario.h"

#include <cstddef>
#include <cstring>
#include <functional>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "base/files.h"
#include "base/gbk.h"
#include "sim/host/host_objects.h"
#include "sim/host/host_profile.h"

namespace simhost {
namespace {

using hostabi::Call;
using A = hostabi::TAddinTable;
using E = hostabi::TFeatureEntryTable;
using H = hostabi::THelperTable;
using G = hostabi::TGinaExtendTable;
using S = hostabi::TServiceObjectTable;
using P = hostabi::TPushSinkTable;
using L = hostabi::TJobListenerTable;
using R = hostabi::TListNoteRenderTable;

// One slot of a table the plug-in hands over: the operation the host
// expects there, and a probe that calls it and answers what went wrong
// ("" when it did what that operation does). Slots without a probe change
// the session's state and are checked where the session calls them.
struct TSlot {
  const char* name;
  std::function<std::string()> probe;
};

std::string Expect(bool ok, const std::string& problem) { return ok ? std::string() : problem; }

std::string Gbk(const std::string& utf8) { return base::Utf8ToGbkLossy(utf8); }
std::string Utf8(const char* gbk) { return gbk ? base::GbkToUtf8Lossy(gbk) : std::string("(null)"); }

int32_t Int32At(const std::string& bytes, size_t offset) {
  int32_t v = 0;
  if (bytes.size() >= offset + 4) std::memcpy(&v, bytes.data() + offset, 4);
  return v;
}

std::string TextAt(const std::string& bytes, size_t offset, size_t width) {
  if (bytes.size() < offset + width) return "<short>";
  const char* p = bytes.data() + offset;
  return std::string(p, strnlen(p, width));
}

template <class T>
std::string Join(const std::vector<T>& items) {
  std::ostringstream out;
  for (size_t i = 0; i < items.size(); ++i) out << (i ? "|" : "") << items[i];
  return out.str();
}

class CScenario {
 public:
  CScenario(void* addin, const THostScenarioEnv& env) : addin_(addin), env_(env) {}

  THostScenarioResult Play();

 private:
  void Check(bool ok, const std::string& what, const std::string& detail = "") {
    if (ok) {
      ++result_.passed;
      env_.report("ok " + std::to_string(result_.passed + result_.failed) + " - " + what);
    } else {
      ++result_.failed;
      result_.failures.push_back(what + (detail.empty() ? "" : ": " + detail));
      env_.report("not ok " + std::to_string(result_.passed + result_.failed) + " - " + what +
                  (detail.empty() ? "" : " (" + detail + ")"));
    }
  }
  template <class A, class B>
  void CheckEq(const A& actual, const B& expected, const std::string& what) {
    std::ostringstream detail;
    detail << "got " << actual << ", expected " << expected;
    Check(actual == expected, what, actual == expected ? "" : detail.str());
  }

  std::filesystem::path Folder() const { return base::PathFromUtf8(env_.programFolder); }
  std::filesystem::path TraceFile(const std::string& name) const {
    return Folder() / "T0002" / "wt_cache" / base::PathFromUtf8(name + env_.today() + ".log");
  }
  std::string ReadTrace(const std::string& name) const {
    return base::ReadFileBytes(base::PathToUtf8(TraceFile(name))).value_or("");
  }
  void* Entry(const std::string& name) {
    void* entries[8] = {};
    const int n = Call(addin_, &A::GetFeatureEntries, entries, 8);
    for (int i = 0; i < n; ++i)
      if (entries[i] && name == Call(entries[i], &E::GetName)) return entries[i];
    return nullptr;
  }
  std::unique_ptr<CHostJob> Job(const std::string& name, uint16_t function, CHostClient* client) {
    return std::make_unique<CHostJob>(log_, name, function, client);
  }
  std::unique_ptr<CHostJob> FillJob(CHostClient& client, const std::string& orderNo) {
    auto job = Job("fill", 402, &client);
    job->SetField(123, "T");
    job->SetField(140, "600000");
    job->SetField(141, Gbk("浦发银行"));
    job->SetField(151, "09:31:05");
    job->SetField(152, "300");
    job->SetField(153, "10.25");
    job->SetField(130, "1");
    job->SetField(131, Gbk("买入"));
    job->SetField(146, orderNo);
    job->SetField(155, "F" + orderNo);
    return job;
  }

  // Probes each slot of the object's table in order and, where the host can
  // tell code of the plug-in from other data, that the table ends after
  // the last slot.
  template <class Table>
  void CheckTable(const std::string& name, void* object, const std::vector<TSlot>& slots) {
    static_assert(hostabi::SlotCount<Table>() > 0);
    Check(slots.size() == hostabi::SlotCount<Table>(), name + " is checked over all its slots");
    if (!object) return;
    for (size_t i = 0; i < slots.size(); ++i) {
      if (!slots[i].probe) continue;
      const std::string problem = slots[i].probe();
      Check(problem.empty(), name + " slot " + std::to_string(i) + " is " + slots[i].name, problem);
    }
    if (!env_.isPluginCode) return;
    const void* const* table = *static_cast<const void* const* const*>(object);
    const size_t n = hostabi::SlotCount<Table>();
    Check(env_.isPluginCode(table[n - 1]) && !env_.isPluginCode(table[n]),
          name + " has exactly " + std::to_string(n) + " slots");
  }
  // A reserved slot: it answers and the host sees no call.
  std::function<std::string()> Quiet(std::function<void()> call) {
    return [this, call] {
      log_.Clear();
      call();
      return Expect(log_.Lines().empty(), "it called the host: " + Join(log_.Lines()));
    };
  }

  void AddinTable();
  void EntryTables();
  void CallbackTables();
  void FeatureTables();
  void Identity();
  void Entries();
  void PrepareFolder();
  void InitializeAddin();
  void CreateFeatures();
  void LoginAndFirstTicks();
  void LoginExtension();
  void RegistrationAnswer();
  void OrdersAndCancels();
  void FillPushes();
  void NoteOnTick();
  void NoteRendererTable();
  void PushesFromSeveralThreads();
  void LateSubscriber();
  void TraceFiles();
  void Logout();
  void UninitializeAddin();

  void* addin_;
  const THostScenarioEnv& env_;
  THostScenarioResult result_;

  CCallLog log_;
  CHostPort port_{log_};
  CHostNoteUtility notes_{log_};
  CHostFeatureView stock_{"Stock.zjgf", env_.stockWindow};
  CHostFeatureView multi_{"vips.multihbuysell", nullptr};
  CHostUser userA_{log_, {1, "A0001", "K001", "1 23 45"}};
  CHostUser userB_{log_, {32, "B0032", "K032", "23"}};
  CHostUser userC_{log_, {1, "C0001", "K100", "2 3"}};
  CHostUser requester_{log_, {0, "", "requester", ""}};
  CHostProfile profileA_{log_, Gbk("<?xml version=\"1.0\" encoding=\"GBK\"?>\r\n<用户 名=\"K001\"><LoginInfo>"
                                   "<Configs><wtcontrol><SHOWCJHS Val=\"0\"/></wtcontrol></Configs>"
                                   "</LoginInfo></用户>")};
  CHostClient clientA_{userA_};
  CHostClient clientB_{userB_};
  CHostClient clientC_{userC_};
  CHostSubscriber early_{log_, "early"};
  CHostSubscriber late_{log_, "late"};
  std::vector<std::unique_ptr<CHostJob>> jobs_;  // every job handed over, for the reference check
  void* service_ = nullptr;
  void* gina_ = nullptr;
};

void CScenario::AddinTable() {
  std::vector<TSlot> slots = {
      {"GetName", [this] { return Expect(std::string(Call(addin_, &A::GetName)) == "Pellumin", "not \"Pellumin\""); }},
      {"GetDescription",
       [this] { return Expect(Utf8(Call(addin_, &A::GetDescription)) == "推送模块", "not string 10003"); }},
      {"GetBuildDate",
       [this] { return Expect(std::string(Call(addin_, &A::GetBuildDate)) == "Jul 21 2010", "not the date"); }},
      {"GetBuildTime",
       [this] { return Expect(std::string(Call(addin_, &A::GetBuildTime)) == "17:33:38", "not the time"); }},
      {"GetRequiredInterfaces",
       [this] { return Expect(Call(addin_, &A::GetRequiredInterfaces, nullptr, 0) == 17, "no count of 17"); }},
      {"Initialize", nullptr},
      {"Uninitialize", nullptr},
      {"GetPort", [this] { return Expect(Call(addin_, &A::GetPort) == nullptr, "a port before Initialize"); }},
      {"GetFeatureEntries",
       [this] { return Expect(Call(addin_, &A::GetFeatureEntries, nullptr, 0) == 4, "no count of 4"); }},
      {"PreTranslateModuleMessage",
       [this] {
         return Expect(Call(addin_, &A::PreTranslateModuleMessage, reinterpret_cast<Hwnd>(0x4321), nullptr) == 0,
                       "a foreign window's message was consumed");
       }},
      {"PreCreateFeature",
       [this] {
         void* out = reinterpret_cast<void*>(0x77);
         Bool result = 55;
         const Bool go = Call(addin_, &A::PreCreateFeature, nullptr, Value{0}, nullptr, &out, &result);
         return Expect(go == 1 && out == reinterpret_cast<void*>(0x77) && result == 55,
                       "it did not answer 1 or touched the out pointer or result");
       }},
      {"RefreshModules", Quiet([this] { Call(addin_, &A::RefreshModules); })},
      {"OnUserLogin", nullptr},
      {"OnUserProfile", nullptr},
  };
  const auto table = [this] { return static_cast<hostabi::TObject<A>*>(addin_)->table; };
  for (int i = 0; i < 2; ++i)
    slots.push_back({"a slot that does nothing", Quiet([this, i, table] { table()->Nothing0[i](addin_, Value{0x10}); })});
  slots.push_back({"OnUserLogout", nullptr});
  for (int i = 0; i < 9; ++i)
    slots.push_back({"a slot that does nothing", Quiet([this, i, table] { table()->Nothing1[i](addin_, Value{0x10}); })});
  slots.push_back({"a slot that does nothing", Quiet([this] { Call(addin_, &A::Nothing2, Value{1}, Value{2}); })});
  slots.push_back({"OnModuleCommand", [this] {
                     const Value answer = Call(addin_, &A::OnModuleCommand, 0x1234u, Value{9}, Value{0}, Value{0},
                                               Value{0});
                     return Expect(answer == 0 && Utf8(Call(addin_, &A::GetDescription)) == "推送模块",
                                   "another command changed something or did not answer 0");
                   }});
  // The add-in lives as long as the module: the host never ends it.
  slots.push_back({"the destructor (delete flag)", nullptr});
  CheckTable<A>("IAddin", addin_, slots);
}

void CScenario::EntryTables() {
  struct TExpected {
    int32_t id, placement;
    const char *name, *caption;
  };
  const TExpected expected[] = {{106, 1, "group.Push", "推送服务"},
                                {102, -1, "GINA.PUSH", "PushRegGianExtend"},
                                {1, -1, "PushHelper", "PushService"},
                                {104, -1, "Note.ListNoteRender", "ListNoteRender"}};
  void* entries[4] = {};
  Call(addin_, &A::GetFeatureEntries, entries, 4);
  for (size_t k = 0; k < 4; ++k) {
    void* e = entries[k];
    const TExpected x = expected[k];
    std::vector<TSlot> slots = {
        {"GetId", [=, this] { return Expect(Call(e, &E::GetId) == x.id, "not id " + std::to_string(x.id)); }},
        {"GetPlacement", [=, this] { return Expect(Call(e, &E::GetPlacement) == x.placement, "not the placement"); }},
        {"GetName", [=, this] { return Expect(std::string(Call(e, &E::GetName)) == x.name, "not the name"); }},
        {"GetCaption", [=, this] { return Expect(Utf8(Call(e, &E::GetCaption)) == x.caption, "not the caption"); }},
        {"GetClassRecord", [=, this] { return Expect(Call(e, &E::GetClassRecord) == nullptr, "a published record"); }},
        {"CreateFeature",
         // Only the heading creates nothing; the others are created below.
         k == 0 ? std::function<std::string()>([=, this] {
           void* out = reinterpret_cast<void*>(0x1);
           return Expect(Call(e, &E::CreateFeature, Value{0}, nullptr, &out) == 1 && out == nullptr,
                         "the heading did not answer 1 with nothing created");
         })
                : nullptr},
        // Entries belong to the add-in.
        {"the destructor (delete flag)", nullptr},
    };
    CheckTable<E>(std::string("IFeatureEntry ") + x.name, e, slots);
  }
}

void CScenario::CallbackTables() {
  void* sink = port_.Sink();
  void* listener = port_.Listener();
  CheckTable<P>("push sink", sink,
                {{"OnRequestSent", nullptr},
                 {"a slot that does nothing", Quiet([=, this] { Call(sink, &P::Nothing, Value{0x10}); })},
                 {"OnAnswer", nullptr},
                 {"OnPush", nullptr},
                 {"the destructor (delete flag)", nullptr}});
  // A finished job that is no login: the listener asks nothing else of it.
  CheckTable<L>("job listener", listener,
                {{"OnJobEvent",
                  [=, this] {
                    CHostJobEvent other(&clientA_, 5, true);
                    log_.Clear();
                    Call(listener, &L::OnJobEvent, other.Abi());
                    return Expect(log_.Lines().empty() && userA_.ExtraRefs() == 0, "it reached for the client");
                  }},
                 {"the destructor (delete flag)", nullptr}});
}

void CScenario::FeatureTables() {
  void* service = service_;
  void* object = Call(service, &H::GetServiceObject);
  const auto* record = static_cast<const hostabi::TClassRecord*>(object ? Call(object, &S::GetClassRecord) : nullptr);
  CheckTable<S>("push service object", object,
                {{"the destructor (delete flag)", nullptr},
                 {"GetServiceInterface",
                  [=, this] { return Expect(Call(object, &S::GetServiceInterface) == service, "not the service interface"); }},
                 {"GetClassRecord", [=, this] {
                    return Expect(record && std::string(record->className) == "CPushProvider" && record->objectSize == 3089,
                                  "not the record \"CPushProvider\" of 3089 bytes");
                  }}});
  Check(object && static_cast<char*>(service) - static_cast<char*>(object) ==
                      static_cast<std::ptrdiff_t>(sizeof(void*) + sizeof(hostabi::TFeatureHeader)),
        "the service interface follows the object's table pointer and feature header");

  const auto table = [=, this] { return static_cast<hostabi::TObject<H>*>(service)->table; };
  void* entry = Entry("PushHelper");
  std::vector<TSlot> slots = {
      {"GetServiceObject", [=, this] { return Expect(object != nullptr, "no object"); }},
      {"GetEntry", [=, this] { return Expect(Call(service, &H::GetEntry) == entry, "not its entry"); }},
      {"SetEntry",
       [=, this] {
         Call(service, &H::SetEntry, Entry("GINA.PUSH"));
         const bool moved = Call(service, &H::GetEntry) == Entry("GINA.PUSH");
         Call(service, &H::SetEntry, entry);
         return Expect(moved && Call(service, &H::GetEntry) == entry, "the entry did not change");
       }},
      {"Destroy", nullptr},
      {"GetInterface",
       [=, this] {
         return Expect(Call(service, &H::GetInterface, 0) == service && Call(service, &H::GetInterface, 1) == nullptr,
                       "not itself for kind 0 and null for another");
       }},
      {"RefreshModules",
       [this, service] {
         log_.Clear();
         const Bool answer = Call(service, &H::RefreshModules);
         return Expect(answer == 1 && log_.Count("Port.GetModule") == 5, "not 1 after asking for the five modules");
       }},
  };
  for (int i = 0; i < 2; ++i)
    slots.push_back({"a slot that does nothing", Quiet([=, this] { table()->Nothing0[i](service); })});
  for (int i = 0; i < 7; ++i)
    slots.push_back({"a slot that does nothing", Quiet([=, this] { table()->Nothing1[i](service, Value{0x10}); })});
  slots.push_back({"OnTick", nullptr});
  for (int i = 0; i < 7; ++i)
    slots.push_back({"a slot that does nothing", Quiet([=, this] { table()->Nothing2[i](service, Value{0x10}); })});
  slots.push_back({"a slot that does nothing", Quiet([=, this] { table()->Nothing3(service, Value{1}, Value{2}); })});
  slots.push_back({"OnPushData", [=, this] {
                     const char payload[208] = {};
                     return Expect(Call(service, &H::OnPushData, 2, payload, 208, nullptr, 0) == 0, "not 0");
                   }});
  // Added and removed again before any login: nothing is replayed or left.
  slots.push_back({"AddSubscriber", [this, service] {
                     CHostSubscriber passing(log_, "passing");
                     const Bool added = Call(service, &H::AddSubscriber, passing.Abi());
                     const Bool removed = Call(service, &H::RemoveSubscriber, passing.Abi());
                     return Expect(added == 1 && removed == 1, "not 1 for adding and removing a subscriber");
                   }});
  slots.push_back({"AddNotifyWindow", [=, this] {
                     const auto window = reinterpret_cast<Hwnd>(0x2468);
                     const Bool added = Call(service, &H::AddNotifyWindow, window, 0x8001u);
                     const Bool removed = Call(service, &H::RemoveNotifyWindow, window);
                     return Expect(added == 1 && removed == 1, "not 1 for adding and removing a window");
                   }});
  slots.push_back({"RemoveSubscriber", nullptr});
  slots.push_back({"RemoveNotifyWindow", nullptr});
  CheckTable<H>("IHelper of the push service", service, slots);

  void* gina = gina_;
  const auto* ginaRecord = static_cast<const hostabi::TClassRecord*>(Call(gina, &G::GetClassRecord));
  CheckTable<G>("login extension", gina,
                {{"GetSelf", [=, this] { return Expect(Call(gina, &G::GetSelf) == gina, "not itself"); }},
                 {"GetEntry", [=, this] { return Expect(Call(gina, &G::GetEntry) == Entry("GINA.PUSH"), "not its entry"); }},
                 {"SetEntry", [=, this] {
                    Call(gina, &G::SetEntry, nullptr);
                    const bool cleared = Call(gina, &G::GetEntry) == nullptr;
                    Call(gina, &G::SetEntry, Entry("GINA.PUSH"));
                    return Expect(cleared, "the entry did not change");
                  }},
                 {"Destroy", nullptr},
                 {"OnLoginEvent", [=, this] { return Expect(Call(gina, &G::OnLoginEvent, nullptr) == 1, "not 1 for no event"); }},
                 {"a slot that answers 0", [=, this] { return Expect(Call(gina, &G::Nothing, Value{1}, Value{2}) == 0, "not 0"); }},
                 {"the destructor (delete flag)", [this] {
                    // On a second login extension of the host's own.
                    void* other = nullptr;
                    Call(Entry("GINA.PUSH"), &E::CreateFeature, Value{0}, nullptr, &other);
                    return Expect(other && Call(other, &G::DeletingDestructor, 1u) == other,
                                  "ending and freeing it did not answer the object");
                  }},
                 {"GetClassRecord", [=, this] {
                    return Expect(ginaRecord && std::string(ginaRecord->className) == "PushRegGinaExtend" &&
                                      ginaRecord->objectSize == sizeof(void*) + sizeof(hostabi::TFeatureHeader),
                                  "not the record \"PushRegGinaExtend\" of a table pointer and a header");
                  }}});

  // The service object is ended through its primary table as well.
  void* second = nullptr;
  Call(Entry("PushHelper"), &E::CreateFeature, Value{0}, nullptr, &second);
  void* secondObject = second ? Call(second, &H::GetServiceObject) : nullptr;
  Check(secondObject && Call(secondObject, &S::DeletingDestructor, 1u) == secondObject,
        "a second push service ends through the destructor slot of its primary table");
}

void CScenario::Identity() {
  CheckEq(std::string(Call(addin_, &A::GetName)), std::string("Pellumin"), "GetName");
  CheckEq(Utf8(Call(addin_, &A::GetDescription)), std::string("推送模块"), "GetDescription is string 10003");
  CheckEq(std::string(Call(addin_, &A::GetBuildDate)) + " " + Call(addin_, &A::GetBuildTime), std::string("Jul 21 2010 17:33:38"),
          "build date and time");
  CheckEq(Call(addin_, &A::GetRequiredInterfaces, nullptr, 0), 17, "GetRequiredInterfaces without buffer answers 17");
  hostabi::TRequirementRow rows[100] = {};
  CheckEq(Call(addin_, &A::GetRequiredInterfaces, rows, 5), 5, "GetRequiredInterfaces(5) copies 5 rows");
  CheckEq(std::string(rows[4].name) + " " + rows[4].version, std::string("IFeatureEntry 6.05"),
          "the fifth row is IFeatureEntry 6.05");
  Check(rows[5].name == nullptr, "nothing is copied past the capacity");
  CheckEq(Call(addin_, &A::GetRequiredInterfaces, rows, 100), 17, "GetRequiredInterfaces(100) copies 17 rows");
  std::vector<std::string> names;
  bool flags = true;
  for (int i = 0; i < 17; ++i) {
    names.push_back(std::string(rows[i].name) + "=" + rows[i].version);
    flags = flags && rows[i].flags == 4;
  }
  CheckEq(Join(names),
          std::string("IAddinPort=6.12|IXMLProfile=6.01|IGallery=6.02|IAddin=6.03|IFeatureEntry=6.05|IFeature=6.03|"
                      "IHelper=6.06|IKvSkinUtility=6.03|IKvGUIUtility=6.07|IKvComm=6.03|IKvClient=6.11|"
                      "IKvUser=6.05|IKvJob=6.08|IControl=6.01|IFeatureForMainView=6.03|"
                      "IFeatureForPopView=6.03|IFeatureForOption=6.02"),
          "the 17 interface requirements in order");
  Check(flags, "every requirement has flags 4");
}

void CScenario::Entries() {
  void* entries[4] = {};
  CheckEq(Call(addin_, &A::GetFeatureEntries, nullptr, 0), 4, "GetFeatureEntries without buffer answers 4");
  CheckEq(Call(addin_, &A::GetFeatureEntries, entries, 2), 2, "GetFeatureEntries(2) copies 2");
  CheckEq(std::string(Call(entries[0], &E::GetName)) + "," + Call(entries[1], &E::GetName), std::string("group.Push,GINA.PUSH"),
          "the first two entries");
  CheckEq(Call(addin_, &A::GetFeatureEntries, entries, 4), 4, "GetFeatureEntries(4) copies 4");
  std::vector<std::string> seen;
  bool noRecords = true;
  for (void* e : entries) {
    seen.push_back(std::to_string(Call(e, &E::GetId)) + "/" + std::to_string(Call(e, &E::GetPlacement)) + "/" + Call(e, &E::GetName) + "/" +
                   Utf8(Call(e, &E::GetCaption)));
    noRecords = noRecords && Call(e, &E::GetClassRecord) == nullptr;
  }
  CheckEq(Join(seen),
          std::string("106/1/group.Push/推送服务|102/-1/GINA.PUSH/PushRegGianExtend|1/-1/PushHelper/PushService|"
                      "104/-1/Note.ListNoteRender/ListNoteRender"),
          "ids, placements, names and captions of the four entries");
  Check(noRecords, "no entry publishes its class record");

  void* out = reinterpret_cast<void*>(0x1);
  CheckEq(Call(entries[0], &E::CreateFeature, 0, nullptr, &out), 1, "CreateFeature(group.Push) answers 1");
  Check(out == nullptr, "CreateFeature(group.Push) leaves the out pointer null");
  CheckEq(Call(entries[3], &E::CreateFeature, 0, nullptr, &out), 1, "CreateFeature(Note.ListNoteRender) answers 1");
  Check(out != nullptr && Call(out, &hostabi::TListNoteRenderTable::GetEntry) == entries[3],
        "the renderer knows its entry");
  if (out) Call(out, &hostabi::TListNoteRenderTable::Destroy);
}

void CScenario::PrepareFolder() {
  std::error_code ec;
  std::filesystem::create_directories(Folder() / "T0002" / "wt_cache", ec);
  std::filesystem::remove(TraceFile("PushTrace"), ec);
  std::filesystem::remove(TraceFile("PushErrorInfo"), ec);
  const std::string oem =
      "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n"
      "<ProfileOfOEM>\r\n  <Common>\r\n    <Debug Trace=\"YES\"/>\r\n  </Common>\r\n</ProfileOfOEM>\r\n";
  Check(base::AtomicReplace(base::PathToUtf8(Folder() / "KvOem.xml"), oem), "KvOem.xml asking for tracing lies beside the host program");
}

void CScenario::InitializeAddin() {
  for (const char* name : {"KvSkinUtility", "KvGUIUtility", "KvComm", "KvGina"})
    port_.SetModule(name, const_cast<char*>(name));
  port_.SetModule("KvNoteUtility", notes_.Abi());
  port_.AddFeature(&stock_, "Stock.zjgf");
  port_.AddFeature(&multi_, "vips.multihbuysell");
  log_.Clear();
  CheckEq(Call(addin_, &A::Initialize, port_.Abi(), 0, 0), 1, "Initialize answers 1");
  CheckEq(Join(log_.Lines()),
          std::string("Port.GetModule(KvSkinUtility)|Port.GetModule(KvGUIUtility)|Port.GetModule(KvComm)|"
                      "Port.GetModule(KvGina)|Port.GetModule(KvNoteUtility)|Port.AddPushSink|Port.AddJobListener"),
          "Initialize asks for the five modules, then registers the push sink and the job listener");
  Check(port_.Sink() != nullptr && port_.Listener() != nullptr, "the port holds both callbacks");
  Check(Call(addin_, &A::GetPort) == port_.Abi(), "GetPort answers the port");
}

void CScenario::CreateFeatures() {
  void* out = nullptr;
  CheckEq(Call(Entry("PushHelper"), &E::CreateFeature, 0, nullptr, &out), 1, "CreateFeature(PushHelper) answers 1");
  service_ = out;
  Check(service_ && Call(service_, &H::GetInterface, 0) == service_ && Call(service_, &H::GetInterface, 1) == nullptr,
        "the service interface answers GetInterface");
  Check(service_ && Call(service_, &H::GetEntry) == Entry("PushHelper"), "the service knows its entry");
  port_.SetModule("PushHelper", service_);
  void* object = service_ ? Call(service_, &H::GetServiceObject) : nullptr;
  const auto* header = object ? reinterpret_cast<const hostabi::TFeatureHeader*>(static_cast<char*>(object) +
                                                                                 sizeof(void*))
                              : nullptr;
  Check(header && header->port == port_.Abi() && header->addin == addin_ && header->entry == Entry("PushHelper"),
        "the service's feature header holds the port, the add-in object Addin_GetObject answered and the entry");
  out = nullptr;
  CheckEq(Call(Entry("GINA.PUSH"), &E::CreateFeature, 0, nullptr, &out), 1, "CreateFeature(GINA.PUSH) answers 1");
  gina_ = out;
  Check(gina_ && Call(gina_, &G::GetSelf) == gina_ && Call(gina_, &G::GetEntry) == Entry("GINA.PUSH"),
        "the login extension answers GetSelf and GetEntry");
  CheckEq(Call(service_, &H::AddSubscriber, early_.Abi()), 1, "a subscriber is added before any login");
}

void CScenario::LoginAndFirstTicks() {
  const int refreshes = env_.stockRefreshes();
  Call(addin_, &A::OnUserLogin, clientA_.Abi());
  Check(profileA_.Loaded(), "the host's profile document for K001");
  userA_.SetProfile(profileA_.Abi());
  log_.Clear();
  Call(addin_, &A::OnUserProfile, clientA_.Abi());
  std::vector<std::string> reads;
  for (const std::string& call : log_.Lines())
    if (call.rfind("Profile.FindChild", 0) == 0 || call.rfind("Profile.GetAttribute", 0) == 0 ||
        call.rfind("Profile.FindOrAdd", 0) == 0)
      reads.push_back(call);
  CheckEq(Join(reads),
          std::string("Profile.FindChild(LoginInfo)|Profile.FindChild(Configs)|Profile.FindChild(wtcontrol)|"
                      "Profile.FindChild(SHOWCJHS)|Profile.GetAttribute(Val)"),
          "OnUserProfile reads SHOWCJHS below LoginInfo/Configs/wtcontrol through the host's document");
  CheckEq(log_.Count("User.GetProfile(K001)"), size_t{1}, "from the logged-in user's profile");
  CheckEq(log_.Count("Profile.DeletingDestructor"), size_t{0}, "the host's profile document is never ended");
  Call(addin_, &A::OnUserLogin, clientC_.Abi());
  Check(userA_.CreatedJobs().empty(), "nothing is sent before the tick");
  Call(service_, &H::OnTick, 0);
  const auto got = early_.Received();
  CheckEq(got.size(), size_t{1}, "one account entry reaches the subscriber on the next tick");
  if (!got.empty()) {
    CheckEq(got[0].kind, 1, "its kind is the registered value 1");
    CheckEq(std::to_string(Int32At(got[0].payload, 0)) + "/" + std::to_string(Int32At(got[0].payload, 4)) + "/" +
                TextAt(got[0].payload, 8, 100),
            std::string("208/1/K001"), "the payload holds size, account kind and customer number");
  }
  const auto jobs = userA_.CreatedJobs();
  CheckEq(jobs.size(), size_t{1}, "one registration request for the login");
  if (!jobs.empty())
    Check(jobs[0]->GetFunction() == 144 && jobs[0]->Mode() == 0 && jobs[0]->Sent(),
          "the request is function 144, mode 0, sent");
  Check(userC_.CreatedJobs().empty(), "a user without right 23 gets no entry");
  CheckEq(env_.stockRefreshes() - refreshes, 1, "the first tick asks Stock.zjgf to refresh (message 6026)");
  Call(service_, &H::OnTick, 0);
  CheckEq(early_.Received().size(), size_t{1}, "a second tick hands out nothing new");
  CheckEq(userA_.CreatedJobs().size(), size_t{1}, "and sends no second request");
  CheckEq(env_.stockRefreshes() - refreshes, 1, "and posts no refresh within 300 seconds");
}

void CScenario::LoginExtension() {
  auto loginB = Job("loginB", 99, &clientB_);
  loginB->SetCreateArgs(0x51, 0x52);
  CHostLoginEvent eventB(*loginB, requester_);
  CheckEq(Call(gina_, &G::OnLoginEvent, eventB.Abi()), 1, "the login extension asks for the unknown account");
  CheckEq(log_.Count("User.CreateJob(requester,81,82)"), size_t{1}, "through the requester with the job's arguments");
  auto loginA = Job("loginA", 99, &clientA_);
  CHostLoginEvent eventA(*loginA, requester_);
  CheckEq(Call(gina_, &G::OnLoginEvent, eventA.Abi()), 0, "a known account is not asked for again");
  jobs_.push_back(std::move(loginA));
  jobs_.push_back(std::move(loginB));

  Call(addin_, &A::OnUserLogin, clientB_.Abi());
  CHostJobEvent done(&clientB_, 101, true);
  port_.JobEvent(done);
}

void CScenario::RegistrationAnswer() {
  auto answer = Job("answer144", 144, &clientA_);
  answer->SetField(307, "1");
  port_.Answer(*answer);
  early_.Clear();
  Call(service_, &H::OnTick, 0);
  std::vector<std::string> customers;
  for (const auto& d : early_.Received()) customers.push_back(std::to_string(d.kind) + ":" + TextAt(d.payload, 8, 100));
  CheckEq(Join(customers), std::string("1:K001|1:K032"), "the tick hands out the answered and the new account");
  CheckEq(userA_.CreatedJobs().size(), size_t{1}, "a registered account asks no more");
  CheckEq(userB_.CreatedJobs().size(), size_t{1}, "the new login asks once");
  jobs_.push_back(std::move(answer));
}

void CScenario::OrdersAndCancels() {
  auto order = Job("order", 202, &clientA_);
  order->SetField(146, "A1");
  port_.RequestSent(*order);
  port_.Answer(*order);
  auto cancel = Job("cancel", 200, &clientA_);
  port_.RequestSent(*cancel);
  cancel->SetError(1, 7, "no");
  port_.Answer(*cancel);
  Check(cancel->FieldsRead().empty(), "an answer with an error has no order number read");
  jobs_.push_back(std::move(order));
  jobs_.push_back(std::move(cancel));
}

void CScenario::FillPushes() {
  early_.Clear();
  const int refreshes = env_.stockRefreshes();
  auto fillA = FillJob(clientA_, "A1");
  port_.Push(*fillA);
  CheckEq(Join(fillA->FieldsRead()), std::string("123|140|141|151|152|153|130|131|146|155"),
          "a fill push is read field by field in order");
  auto fillB = FillJob(clientB_, "B1");
  fillB->SetUnterminatedFields(true);
  fillB->SetField(141, "ABCDEFGHIJKLMNOP");  // 16 bytes: no room for a terminator
  port_.Push(*fillB);
  auto failed = FillJob(clientA_, "X1");
  failed->SetError(2, -5, Gbk("资金不足"));
  port_.Push(*failed);

  const auto got = early_.Received();
  CheckEq(got.size(), size_t{2}, "each good fill reaches the subscriber once");
  if (got.size() == 2) {
    CheckEq(std::to_string(got[0].kind) + "/" + std::to_string(got[0].payload.size()) + "/" +
                TextAt(got[0].payload, 8, 100) + "/" + TextAt(got[0].payload, 108, 100) + "/" +
                (got[0].extraNull ? "null" : "extra"),
            std::string("2/208/A0001/K001/null"), "a fill is pushed as kind 2 with the account payload");
    const std::string& d = got[1].extra;
    CheckEq(got[1].kind, 4, "a fill of account kind 32 is pushed as kind 4");
    CheckEq(d.size(), size_t{194}, "with the 194-byte fill detail");
    CheckEq(std::to_string(Int32At(d, 12)) + ":" + std::to_string(Int32At(d, 16)) + ":" +
                std::to_string(Int32At(d, 20)) + " " + std::to_string(Int32At(d, 92)) + " " + TextAt(d, 24, 30) +
                " " + TextAt(d, 160, 10),
            std::string("9:31:5 300 B1 600000"), "the detail's time, quantity, order number and code");
    double price = 0;
    if (d.size() >= 92) std::memcpy(&price, d.data() + 84, 8);
    CheckEq(price, 10.25, "the detail's price");
    CheckEq(TextAt(d, 170, 20), std::string("ABCDEFGHIJKLMNO"),
            "a host text without terminator is cut inside its field, never over-read");
  }
  CheckEq(env_.stockRefreshes() - refreshes, 2, "every fill asks Stock.zjgf to refresh");
  jobs_.push_back(std::move(fillA));
  jobs_.push_back(std::move(fillB));
  jobs_.push_back(std::move(failed));
}

void CScenario::NoteOnTick() {
  Check(notes_.Notes().empty(), "no note before the tick");
  Call(service_, &H::OnTick, 0);
  const auto shown = notes_.ShownNotes();
  CheckEq(shown.size(), size_t{1}, "the tick after fills raises one note");
  CheckEq(Join(log_.Matching("Notes.CreateNote")), std::string("Notes.CreateNote(0,Push,2,0)"),
          "the note is created as (0, \"Push\", 2, 0)");
  if (!shown.empty())
    CheckEq(Join(shown[0]->Properties()),
            std::string("Format=1|Catalog=推送消息|Template=Note.ListNoteRender|Title=成交回报信息    |"
                        "Author=推送模块|Owner=PushHelper"),
            "the note's properties in order");
  Call(service_, &H::OnTick, 0);
  CheckEq(notes_.Notes().size(), size_t{1}, "no second note without new fills");

  port_.SetActiveFeature(&multi_);
  auto fill = FillJob(clientA_, "A2");
  port_.Push(*fill);
  Call(service_, &H::OnTick, 0);
  CheckEq(notes_.Notes().size(), size_t{1}, "no note while the multi-account view is active");
  port_.SetActiveFeature(nullptr);
  jobs_.push_back(std::move(fill));
}

// The renderer the note utility makes for the note's template. Without a
// parent window (creation argument 0) it makes no body window; every other
// operation still answers.
void CScenario::NoteRendererTable() {
  void* entry = Entry("Note.ListNoteRender");
  void* renderer = nullptr;
  CheckEq(Call(entry, &E::CreateFeature, Value{0}, nullptr, &renderer), 1, "CreateFeature(Note.ListNoteRender) answers 1");
  if (!renderer) return;
  CHostNote note(log_);
  constexpr Value kKey = 0x21;
  const auto table = [=] { return static_cast<hostabi::TObject<R>*>(renderer)->table; };
  std::vector<TSlot> slots = {
      {"GetSelf", [=, this] { return Expect(Call(renderer, &R::GetSelf) == renderer, "not itself"); }},
      {"GetEntry", [=, this] { return Expect(Call(renderer, &R::GetEntry) == entry, "not its entry"); }},
      {"SetEntry",
       [=, this] {
         Call(renderer, &R::SetEntry, nullptr);
         const bool cleared = Call(renderer, &R::GetEntry) == nullptr;
         Call(renderer, &R::SetEntry, entry);
         return Expect(cleared && Call(renderer, &R::GetEntry) == entry, "the entry did not change");
       }},
      {"Destroy", nullptr},
      {"GetButtons",
       [=, this] {
         uint32_t values[2] = {0, 0};
         const int32_t count = Call(renderer, &R::GetButtons, nullptr, 0);
         const int32_t copied = Call(renderer, &R::GetButtons, values, 2);
         return Expect(count == 1 && copied == 1 && values[0] == 0x00060007u && values[1] == 0,
                       "not one value 0x00060007 for a note without more");
       }},
      {"GetButtonText",
       [=, this] {
         char close[16] = {}, next[16] = {}, untouched[4] = "x";
         Call(renderer, &R::GetButtonText, 7, close, 16);
         Call(renderer, &R::GetButtonText, 6, next, 16);
         Call(renderer, &R::GetButtonText, 7, untouched, 0);
         return Expect(Utf8(close) == "关闭" && Utf8(next) == "下一条" && std::string(untouched) == "x",
                       "not \"关闭\" for 7 and \"下一条\" for 6");
       }},
      {"Create",
       [=, this, &note] {
         return Expect(Call(renderer, &R::Create, kKey, note.Abi()) == nullptr, "a body window without a parent");
       }},
  };
  for (int i = 0; i < 2; ++i)
    slots.push_back({"a slot that answers 1", [=, this] {
                       log_.Clear();
                       const Bool answer = table()->Nothing0[i](renderer, Value{0x10});
                       return Expect(answer == 1 && log_.Lines().empty(), "not 1, or it called the host");
                     }});
  slots.push_back({"OnCloseButton", [=, this] {
                     log_.Clear();
                     const Value answer = Call(renderer, &R::OnCloseButton, Value{0});
                     return Expect(answer == 1 && Join(log_.Lines()) == "Note.SetClosed(1)|Note.SetDone(1)|"
                                                                        "Notes.UpdateNote(33)|Notes.EndNote(33,3)",
                                   "not closed, done, updated and ended: " + Join(log_.Lines()));
                   }});
  slots.push_back({"a slot that does nothing", Quiet([=] { table()->Nothing1(renderer, Value{1}, Value{2}); })});
  slots.push_back({"OnNoteUpdate", [=, this] {
                     log_.Clear();
                     const Value answer = Call(renderer, &R::OnNoteUpdate, Value{5});
                     return Expect(answer == 1 && Join(log_.Lines()) == "Notes.UpdateNote(33)",
                                   "not the note utility's update: " + Join(log_.Lines()));
                   }});
  slots.push_back({"GetStatusText", [=, this] {
                     const std::string text = Utf8(Call(renderer, &R::GetStatusText, Value{0}));
                     return Expect(std::regex_match(text, std::regex("共接收数据[0-9]+条,新接收数据1条")),
                                   "not the counts: " + text);
                   }});
  slots.push_back({"the destructor (delete flag)", [=, this] {
                     void* other = nullptr;
                     Call(entry, &E::CreateFeature, Value{0}, nullptr, &other);
                     return Expect(other && Call(other, &R::DeletingDestructor, 1u) == other,
                                   "ending and freeing it did not answer the object");
                   }});
  CheckTable<R>("note renderer", renderer, slots);
  Call(renderer, &R::Destroy);
}

void CScenario::PushesFromSeveralThreads() {
  early_.Clear();
  constexpr int kThreads = 3, kEach = 40;
  std::vector<std::unique_ptr<CHostJob>> fills;
  for (int i = 0; i < kThreads * kEach; ++i) fills.push_back(FillJob(i % 2 ? clientA_ : clientB_, "M" + std::to_string(i)));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) port_.Push(*fills[static_cast<size_t>(t * kEach + i)]);
    });
  for (auto& thread : threads) thread.join();
  int kind2 = 0, kind4 = 0;
  for (const auto& d : early_.Received()) (d.kind == 2 ? kind2 : kind4) += 1;
  CheckEq(std::to_string(kind2) + "+" + std::to_string(kind4), std::to_string(kThreads * kEach / 2) + "+" +
          std::to_string(kThreads * kEach / 2), "fills pushed from three host threads at once all arrive");
  for (auto& fill : fills) jobs_.push_back(std::move(fill));
}

void CScenario::LateSubscriber() {
  early_.Clear();
  CheckEq(Call(service_, &H::AddSubscriber, late_.Abi()), 1, "a subscriber added late");
  std::vector<std::string> customers;
  for (const auto& d : late_.Received()) customers.push_back(TextAt(d.payload, 8, 100));
  CheckEq(Join(customers), std::string("K001|K032"), "gets the known accounts replayed");
  Check(early_.Received().empty(), "the replay goes to the new subscriber only");
  Call(service_, &H::OnTick, 0);
  Check(early_.Received().empty(), "and the replayed accounts count as handed out");
}

void CScenario::TraceFiles() {
  const std::string trace = ReadTrace("PushTrace");
  Check(!trace.empty(), "PushTrace" + env_.today() + ".log is written in T0002\\wt_cache");
  const std::regex line(R"(\d{4}-\d{2}-\d{2}/\d{2}:\d{2}:\d{2}\.\d{3}\[[0-9A-F]{8}\]--[^\r\n]*)");
  std::vector<std::string> messages;
  bool formatted = true;
  std::string date = env_.today();
  date = date.substr(0, 4) + "-" + date.substr(4, 2) + "-" + date.substr(6, 2);
  for (size_t at = 0; at < trace.size();) {
    const size_t end = trace.find("\r\n", at);
    if (end == std::string::npos) {
      formatted = false;
      break;
    }
    const std::string text = trace.substr(at, end - at);
    formatted = formatted && std::regex_match(text, line) && text.compare(0, 10, date) == 0;
    messages.push_back(base::GbkToUtf8Lossy(text.substr(text.find("--") + 2)));
    at = end + 2;
  }
  Check(formatted, "every trace line is \"yyyy-mm-dd/hh:mm:ss.zzz[thread]--message\" with CR LF and today's date");
  const auto has = [&](const std::string& message) {
    return std::find(messages.begin(), messages.end(), message) != messages.end();
  };
  for (const char* expected : {"详细权限 = 1 23 45", "详细权限 = 2 3", "接受注册通知 khh= K001, state = 1",
                               "PushMsg 202|普通委托|", "PushMsg 202|普通委托|A1|", "PushMsg 200|委托撤单|",
                               "PushMsg 200|委托撤单||", "PushMsg K001|600000|浦发银行|09:31:05|300|10.25|A1|FA1"})
    Check(has(expected), std::string("trace line \"") + expected + "\"");
  const std::string errors = base::GbkToUtf8Lossy(ReadTrace("PushErrorInfo"));
  Check(errors.find("--ErrorType=2,ErrorCode=-5,ErrorInfo=资金不足\r\n") != std::string::npos,
        "PushErrorInfo" + env_.today() + ".log holds the failed fill", errors);
}

void CScenario::Logout() {
  CheckEq(Call(addin_, &A::OnUserLogout, clientC_.Abi(), 0), Value{2}, "a logout with two users left answers 2");
  CheckEq(Call(addin_, &A::OnUserLogout, clientB_.Abi(), 0), Value{1}, "then 1");
  CheckEq(Call(addin_, &A::OnUserLogout, clientA_.Abi(), 0), reinterpret_cast<Value>(service_),
          "the last logout answers the push service it reset");
  early_.Clear();
  late_.Clear();
  auto ignored = FillJob(clientA_, "Z1");
  port_.Push(*ignored);
  Check(early_.Received().empty(), "without logged-in users a fill push is ignored");
  Call(addin_, &A::OnUserLogin, clientA_.Abi());
  Call(service_, &H::OnTick, 0);
  Check(early_.Received().empty() && late_.Received().empty(), "the reset dropped both subscribers");
  CheckEq(userA_.CreatedJobs().size(), size_t{2}, "the new login asks for registration again");
  Call(addin_, &A::OnUserLogout, clientA_.Abi(), 0);
  jobs_.push_back(std::move(ignored));
}

void CScenario::UninitializeAddin() {
  log_.Clear();
  CheckEq(Call(addin_, &A::Uninitialize), 1, "Uninitialize answers the withdrawal's result");
  CheckEq(Join(log_.Lines()), std::string("Port.RemovePushSink|Port.RemoveJobListener"),
          "Uninitialize withdraws the push sink, then the job listener");
  Check(port_.Sink() == nullptr && port_.Listener() == nullptr, "the port holds no callbacks");
  if (gina_) Call(gina_, &G::Destroy);
  if (service_) Call(service_, &H::Destroy);

  bool balanced = true;
  std::string unbalanced;
  for (const CHostUser* user : {&userA_, &userB_, &userC_, &requester_})
    if (user->ExtraRefs() != 0) {
      balanced = false;
      unbalanced += user->Account().customerNo + " ";
    }
  for (const auto& job : jobs_)
    if (job->ExtraRefs() != 0) {
      balanced = false;
      unbalanced += job->Name() + " ";
    }
  for (const CHostUser* user : {&userA_, &userB_, &requester_})
    for (const CHostJob* job : user->CreatedJobs())
      if (job->ExtraRefs() != 0) {
        balanced = false;
        unbalanced += job->Name() + " ";
      }
  Check(balanced, "every user and job reference the plug-in took was released", unbalanced);
}

THostScenarioResult CScenario::Play() {
  AddinTable();
  Identity();
  EntryTables();
  Entries();
  PrepareFolder();
  InitializeAddin();
  CallbackTables();
  CreateFeatures();
  if (!service_ || !gina_) return result_;
  FeatureTables();
  LoginAndFirstTicks();
  LoginExtension();
  RegistrationAnswer();
  OrdersAndCancels();
  FillPushes();
  NoteOnTick();
  NoteRendererTable();
  PushesFromSeveralThreads();
  LateSubscriber();
  TraceFiles();
  Logout();
  UninitializeAddin();
  return result_;
}

}  // namespace

THostScenarioResult PlayHostScenario(void* addin, const THostScenarioEnv& env) {
  CScenario scenario(addin, env);
  return scenario.Play();
}

}  // namespace simhost
