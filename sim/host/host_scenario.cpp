#include "sim/host/host_scenario.h"

#include <cstring>
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
  CScenario(kv::IAddin* addin, const THostScenarioEnv& env) : addin_(addin), env_(env) {}

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
  kv::IFeatureEntry* Entry(const std::string& name) {
    kv::IFeatureEntry* entries[8] = {};
    const int n = addin_->GetFeatureEntries(entries, 8);
    for (int i = 0; i < n; ++i)
      if (entries[i] && name == entries[i]->GetName()) return entries[i];
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
  void PushesFromSeveralThreads();
  void LateSubscriber();
  void TraceFiles();
  void Logout();
  void UninitializeAddin();

  kv::IAddin* addin_;
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
  kv::IHelper* service_ = nullptr;
  kv::IGinaExtend* gina_ = nullptr;
};

void CScenario::Identity() {
  CheckEq(std::string(addin_->GetName()), std::string("Pellumin"), "GetName");
  CheckEq(Utf8(addin_->GetDescription()), std::string("推送模块"), "GetDescription is string 10003");
  CheckEq(std::string(addin_->GetBuildDate()) + " " + addin_->GetBuildTime(), std::string("Jul 21 2010 17:33:38"),
          "build date and time");
  CheckEq(addin_->GetRequiredInterfaces(nullptr, 0), 17, "GetRequiredInterfaces without buffer answers 17");
  kv::TInterfaceRequirement rows[100] = {};
  CheckEq(addin_->GetRequiredInterfaces(rows, 5), 5, "GetRequiredInterfaces(5) copies 5 rows");
  CheckEq(std::string(rows[4].name) + " " + rows[4].version, std::string("IFeatureEntry 6.05"),
          "the fifth row is IFeatureEntry 6.05");
  Check(rows[5].name == nullptr, "nothing is copied past the capacity");
  CheckEq(addin_->GetRequiredInterfaces(rows, 100), 17, "GetRequiredInterfaces(100) copies 17 rows");
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
  kv::IFeatureEntry* entries[4] = {};
  CheckEq(addin_->GetFeatureEntries(nullptr, 0), 4, "GetFeatureEntries without buffer answers 4");
  CheckEq(addin_->GetFeatureEntries(entries, 2), 2, "GetFeatureEntries(2) copies 2");
  CheckEq(std::string(entries[0]->GetName()) + "," + entries[1]->GetName(), std::string("group.Push,GINA.PUSH"),
          "the first two entries");
  CheckEq(addin_->GetFeatureEntries(entries, 4), 4, "GetFeatureEntries(4) copies 4");
  std::vector<std::string> seen;
  bool noRecords = true;
  for (kv::IFeatureEntry* e : entries) {
    seen.push_back(std::to_string(e->GetId()) + "/" + std::to_string(e->GetPlacement()) + "/" + e->GetName() + "/" +
                   Utf8(e->GetCaption()));
    noRecords = noRecords && e->GetClassRecord() == nullptr;
  }
  CheckEq(Join(seen),
          std::string("106/1/group.Push/推送服务|102/-1/GINA.PUSH/PushRegGianExtend|1/-1/PushHelper/PushService|"
                      "104/-1/Note.ListNoteRender/ListNoteRender"),
          "ids, placements, names and captions of the four entries");
  Check(noRecords, "no entry publishes its class record");

  void* out = reinterpret_cast<void*>(0x1);
  CheckEq(entries[0]->CreateFeature(0, nullptr, &out), 1, "CreateFeature(group.Push) answers 1");
  Check(out == nullptr, "CreateFeature(group.Push) leaves the out pointer null");
  CheckEq(entries[3]->CreateFeature(0, nullptr, &out), 0, "the fill list renderer is not built yet: 0");
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
  port_.SetModule("KvNoteUtility", &notes_);
  port_.AddFeature(&stock_, "Stock.zjgf");
  port_.AddFeature(&multi_, "vips.multihbuysell");
  log_.Clear();
  CheckEq(addin_->Initialize(&port_, 0, 0), 1, "Initialize answers 1");
  CheckEq(Join(log_.Lines()),
          std::string("Port.GetModule(KvSkinUtility)|Port.GetModule(KvGUIUtility)|Port.GetModule(KvComm)|"
                      "Port.GetModule(KvGina)|Port.GetModule(KvNoteUtility)|Port.AddPushSink|Port.AddJobListener"),
          "Initialize asks for the five modules, then registers the push sink and the job listener");
  Check(port_.Sink() != nullptr && port_.Listener() != nullptr, "the port holds both callbacks");
  Check(addin_->GetPort() == &port_, "GetPort answers the port");
}

void CScenario::CreateFeatures() {
  void* out = nullptr;
  CheckEq(Entry("PushHelper")->CreateFeature(0, nullptr, &out), 1, "CreateFeature(PushHelper) answers 1");
  service_ = static_cast<kv::IHelper*>(out);
  Check(service_ && service_->GetInterface(0) == service_ && service_->GetInterface(1) == nullptr,
        "the service interface answers GetInterface");
  Check(service_ && service_->GetEntry() == Entry("PushHelper"), "the service knows its entry");
  port_.SetModule("PushHelper", service_);
  out = nullptr;
  CheckEq(Entry("GINA.PUSH")->CreateFeature(0, nullptr, &out), 1, "CreateFeature(GINA.PUSH) answers 1");
  gina_ = static_cast<kv::IGinaExtend*>(out);
  Check(gina_ && gina_->GetSelf() == gina_ && gina_->GetEntry() == Entry("GINA.PUSH"),
        "the login extension answers GetSelf and GetEntry");
  CheckEq(service_->AddSubscriber(&early_), 1, "a subscriber is added before any login");
}

void CScenario::LoginAndFirstTicks() {
  const int refreshes = env_.stockRefreshes();
  addin_->OnUserLogin(&clientA_);
  Check(profileA_.Loaded(), "the host's profile document for K001");
  userA_.SetProfile(&profileA_);
  log_.Clear();
  addin_->OnUserProfile(&clientA_);
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
  addin_->OnUserLogin(&clientC_);
  Check(userA_.CreatedJobs().empty(), "nothing is sent before the tick");
  service_->OnTick(0);
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
  service_->OnTick(0);
  CheckEq(early_.Received().size(), size_t{1}, "a second tick hands out nothing new");
  CheckEq(userA_.CreatedJobs().size(), size_t{1}, "and sends no second request");
  CheckEq(env_.stockRefreshes() - refreshes, 1, "and posts no refresh within 300 seconds");
}

void CScenario::LoginExtension() {
  auto loginB = Job("loginB", 99, &clientB_);
  loginB->SetCreateArgs(0x51, 0x52);
  CHostLoginEvent eventB(*loginB, requester_);
  CheckEq(gina_->OnLoginEvent(&eventB), 1, "the login extension asks for the unknown account");
  CheckEq(log_.Count("User.CreateJob(requester,81,82)"), size_t{1}, "through the requester with the job's arguments");
  auto loginA = Job("loginA", 99, &clientA_);
  CHostLoginEvent eventA(*loginA, requester_);
  CheckEq(gina_->OnLoginEvent(&eventA), 0, "a known account is not asked for again");
  jobs_.push_back(std::move(loginA));
  jobs_.push_back(std::move(loginB));

  addin_->OnUserLogin(&clientB_);
  CHostJobEvent done(&clientB_, 101, true);
  port_.JobEvent(done);
}

void CScenario::RegistrationAnswer() {
  auto answer = Job("answer144", 144, &clientA_);
  answer->SetField(307, "1");
  port_.Answer(*answer);
  early_.Clear();
  service_->OnTick(0);
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
  service_->OnTick(0);
  const auto shown = notes_.ShownNotes();
  CheckEq(shown.size(), size_t{1}, "the tick after fills raises one note");
  CheckEq(Join(log_.Matching("Notes.CreateNote")), std::string("Notes.CreateNote(0,Push,2,0)"),
          "the note is created as (0, \"Push\", 2, 0)");
  if (!shown.empty())
    CheckEq(Join(shown[0]->Properties()),
            std::string("Format=1|Catalog=推送消息|Template=Note.ListNoteRender|Title=成交回报信息    |"
                        "Author=推送模块|Owner=PushHelper"),
            "the note's properties in order");
  service_->OnTick(0);
  CheckEq(notes_.Notes().size(), size_t{1}, "no second note without new fills");

  port_.SetActiveFeature(&multi_);
  auto fill = FillJob(clientA_, "A2");
  port_.Push(*fill);
  service_->OnTick(0);
  CheckEq(notes_.Notes().size(), size_t{1}, "no note while the multi-account view is active");
  port_.SetActiveFeature(nullptr);
  jobs_.push_back(std::move(fill));
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
  CheckEq(service_->AddSubscriber(&late_), 1, "a subscriber added late");
  std::vector<std::string> customers;
  for (const auto& d : late_.Received()) customers.push_back(TextAt(d.payload, 8, 100));
  CheckEq(Join(customers), std::string("K001|K032"), "gets the known accounts replayed");
  Check(early_.Received().empty(), "the replay goes to the new subscriber only");
  service_->OnTick(0);
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
  CheckEq(addin_->OnUserLogout(&clientC_, 0), kv::KvValue{2}, "a logout with two users left answers 2");
  CheckEq(addin_->OnUserLogout(&clientB_, 0), kv::KvValue{1}, "then 1");
  CheckEq(addin_->OnUserLogout(&clientA_, 0), reinterpret_cast<kv::KvValue>(service_),
          "the last logout answers the push service it reset");
  early_.Clear();
  late_.Clear();
  auto ignored = FillJob(clientA_, "Z1");
  port_.Push(*ignored);
  Check(early_.Received().empty(), "without logged-in users a fill push is ignored");
  addin_->OnUserLogin(&clientA_);
  service_->OnTick(0);
  Check(early_.Received().empty() && late_.Received().empty(), "the reset dropped both subscribers");
  CheckEq(userA_.CreatedJobs().size(), size_t{2}, "the new login asks for registration again");
  addin_->OnUserLogout(&clientA_, 0);
  jobs_.push_back(std::move(ignored));
}

void CScenario::UninitializeAddin() {
  log_.Clear();
  CheckEq(addin_->Uninitialize(), 1, "Uninitialize answers the withdrawal's result");
  CheckEq(Join(log_.Lines()), std::string("Port.RemovePushSink|Port.RemoveJobListener"),
          "Uninitialize withdraws the push sink, then the job listener");
  Check(port_.Sink() == nullptr && port_.Listener() == nullptr, "the port holds no callbacks");
  if (gina_) gina_->Destroy();
  if (service_) service_->Destroy();

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
  Identity();
  Entries();
  PrepareFolder();
  InitializeAddin();
  CreateFeatures();
  if (!service_ || !gina_) return result_;
  LoginAndFirstTicks();
  LoginExtension();
  RegistrationAnswer();
  OrdersAndCancels();
  FillPushes();
  NoteOnTick();
  PushesFromSeveralThreads();
  LateSubscriber();
  TraceFiles();
  Logout();
  UninitializeAddin();
  return result_;
}

}  // namespace

THostScenarioResult PlayHostScenario(kv::IAddin* addin, const THostScenarioEnv& env) {
  CScenario scenario(addin, env);
  return scenario.Play();
}

}  // namespace simhost
