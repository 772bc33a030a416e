#include "plugin/push/unt_pushsink.h"

#include <cstring>
#include <new>

#include "plugin/addin/unt_hostedge.h"
#include "plugin/push/unt_hostref.h"
#include "plugin/push/unt_pushcenter.h"
#include "plugin/push/unt_pushprovider.h"

namespace push {
namespace {

bool IsOrderFunction(uint16_t function) { return function == fn::kOrder || function == fn::kCancel; }

const char* OrderText(IStringTable& strings, uint16_t function) {
  const char* text = strings.Text(function == fn::kOrder ? IDS_ORDER_TEXT : IDS_CANCEL_TEXT);
  return text ? text : "";
}

void* CreateGinaExtend() { return static_cast<kv::IGinaExtend*>(new (std::nothrow) CPushRegGinaExtend); }

}  // namespace

const addin::TFeatureClassRecord CPushRegGinaExtend::kClassRecord = {"PushRegGinaExtend",
                                                                     sizeof(CPushRegGinaExtend), 0,
                                                                     &CreateGinaExtend};

// ---------------------------------------------------------------------------
// Push sink

void CPushSink::OnRequestSent(kv::IKvJob* request) {
  addin::HostCall([&] { RequestSent(request); });
}

void CPushSink::OnAnswer(kv::IKvJob* request) {
  addin::HostCall([&] { Answer(request); });
}

void CPushSink::OnPush(kv::IKvJob* push) {
  addin::HostCall([&] { Push(push); });
}

void CPushSink::RequestSent(kv::IKvJob* request) {
  CPushCenter* center = context_.center.load();
  if (!request || !center) return;
  const THostRef job(request->GetJob());
  if (!job) return;
  const uint16_t function = job->GetFunction();
  if (IsOrderFunction(function)) {
    center->RequestSent(request, context_.system->TickCount());
    if (center->TraceOn())
      center->Trace("PushTrace", "PushMsg %lu|%s|", static_cast<unsigned long>(function),
                    OrderText(*context_.strings, function));
  }
}

void CPushSink::Answer(kv::IKvJob* request) {
  CPushCenter* center = context_.center.load();
  if (!request || !center) return;
  const THostRef job(request->GetJob());
  if (!job) return;
  const uint16_t function = job->GetFunction();
  if (function == fn::kRegistration) {
    center->RegistrationNotice(job.get());
  } else if (IsOrderFunction(function)) {
    char orderNo[32] = {};
    if (job->GetErrorType() == 0) ReadJobField(job.get(), 146, orderNo);
    center->AnswerReceived(FieldText(orderNo), request);
    if (center->TraceOn())
      center->Trace("PushTrace", "PushMsg %lu|%s|%s|", static_cast<unsigned long>(function),
                    OrderText(*context_.strings, function), orderNo);
  }
}

void CPushSink::Push(kv::IKvJob* push) {
  CPushCenter* center = context_.center.load();
  if (!push || !center) return;
  const THostRef job(push->GetJob());
  if (!job) return;
  CPushProvider* service = service_.load();
  kv::IAddinPort* port = context_.port.load();
  if (!service && port) {
    if (auto* helper = static_cast<kv::IHelper*>(port->GetModule("PushHelper"))) {
      service = CPushProvider::FromServiceObject(helper->GetServiceObject());
      service_.store(service);
    }
  }
  if (service && center->UserCount() > 0) {
    const uint16_t function = job->GetFunction();
    if (function == fn::kRegistration)
      center->RegistrationNotice(job.get());
    else if (function == fn::kFill)
      service->FillReport(job.get());
  }
}

// ---------------------------------------------------------------------------
// Job listener

void CJobListener::OnJobEvent(kv::IKvJobEvent* event) {
  addin::HostCall([&] {
    CPushCenter* center = context_.center.load();
    if (!event || !center) return;
    const uint16_t function = event->GetFunction();
    if (function != fn::kLogin1 && function != fn::kLogin2) return;
    if (!event->IsSuccess()) return;
    kv::IKvClient* client = event->GetClient();
    if (client && !client->GetSkipFlag()) center->RightsCheck(client, false);
  });
}

// ---------------------------------------------------------------------------
// Login extension

kv::KvBool CPushRegGinaExtend::OnLoginEvent(kv::IKvLoginEvent* event) {
  return addin::HostCall(0, [&] { return LoginEvent(event); });
}

kv::KvBool CPushRegGinaExtend::LoginEvent(kv::IKvLoginEvent* event) {
  if (!event) return 1;
  CPushCenter* center = header.addin ? header.addin->Context().center.load() : nullptr;
  const THostRef job(event->GetJob());
  if (!job) return 0;
  kv::IKvClient* client = job->GetClient();
  const THostRef user(client ? client->GetUser() : nullptr);
  const char* rights = user ? user->GetRights() : nullptr;
  if (!rights || !std::strstr(rights, "23")) return 0;
  TAccountEntry payload{};
  FillAccountEntry(payload, user.get());
  if (center && center->IsKnown(payload)) return 0;
  kv::IKvUser* requester = event->GetRequester();
  const THostRef request(requester ? requester->CreateJob(job->GetCreateArgA(), job->GetCreateArgB()) : nullptr);
  if (!request) return 0;
  request->SetMode(0);
  request->SetFunction(fn::kRegistration);
  request->Send(0, 0, 0, 0);
  return 1;
}

}  // namespace push
