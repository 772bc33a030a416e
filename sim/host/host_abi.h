// The add-in protocol as the trade client itself declares it, written from
// the interface tables of the protocol and from nothing of the plug-in: each
// table is a plain structure of function pointers in slot order, each object
// a pointer to its table followed by whatever the owner keeps. The host
// builds its own objects' tables this way and reads the plug-in's tables
// the same way, so a slot the plug-in puts elsewhere is found out.
//
// The tables are those of a client built with Microsoft's compiler: every
// operation is a virtual member function, which on i686 is __thiscall (the
// object in ECX, the callee pops the stack arguments); x86_64 has one
// convention. A "destructor (delete flag)" is one slot.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define HOST_MEMBER __attribute__((thiscall))
#else
#define HOST_MEMBER
#endif

namespace hostabi {

using Value = std::uintptr_t;
using Bool = std::int32_t;
using Hwnd = void*;
using Self = void*;  // the object an operation is called on

// The head of every object of the protocol.
template <class Table>
struct TObject {
  const Table* table;
};

// Calls a slot of an object whose first word is its table.
template <class Table, class Fn, class... A>
auto Call(void* object, Fn Table::*slot, A... args) {
  const Table* table = static_cast<TObject<Table>*>(object)->table;
  return (table->*slot)(object, args...);
}

template <class Table>
constexpr size_t SlotCount() {
  return sizeof(Table) / sizeof(void (*)());
}

// ---------------------------------------------------------------------------
// Tables the host offers (operations the plug-in calls, in their order)

struct TJobTable {
  Self(HOST_MEMBER* GetJob)(Self);
  void(HOST_MEMBER* Release)(Self);
  Value(HOST_MEMBER* GetCreateArgA)(Self);
  Value(HOST_MEMBER* GetCreateArgB)(Self);
  void(HOST_MEMBER* SetMode)(Self, std::int32_t);
  void(HOST_MEMBER* SetFunction)(Self, std::int32_t);
  std::uint16_t(HOST_MEMBER* GetFunction)(Self);
  Bool(HOST_MEMBER* Send)(Self, Value, Value, Value, Value);
  std::int32_t(HOST_MEMBER* GetErrorType)(Self);
  std::int32_t(HOST_MEMBER* GetErrorCode)(Self);
  const char*(HOST_MEMBER* GetErrorText)(Self);
  Self(HOST_MEMBER* GetClient)(Self);
  Bool(HOST_MEMBER* SeekFirst)(Self);
  Bool(HOST_MEMBER* GetField)(Self, std::int32_t, char*, std::int32_t, Value);
};

struct TUserTable {
  void(HOST_MEMBER* Release)(Self);
  Self(HOST_MEMBER* GetProfile)(Self);
  Self(HOST_MEMBER* CreateJob)(Self, Value, Value);
  std::int32_t(HOST_MEMBER* GetAccountKind)(Self);
  const char*(HOST_MEMBER* GetAccountCode)(Self);
  const char*(HOST_MEMBER* GetCustomerNo)(Self);
  const char*(HOST_MEMBER* GetRights)(Self);
};

struct TClientTable {
  Self(HOST_MEMBER* GetUser)(Self);
  Bool(HOST_MEMBER* GetSkipFlag)(Self);
};

struct TJobEventTable {
  Self(HOST_MEMBER* GetClient)(Self);
  Bool(HOST_MEMBER* IsSuccess)(Self);
  std::uint16_t(HOST_MEMBER* GetFunction)(Self);
};

struct TLoginEventTable {
  Self(HOST_MEMBER* GetJob)(Self);
  Self(HOST_MEMBER* GetRequester)(Self);
};

struct TNoteTable {
  void(HOST_MEMBER* SetClosed)(Self, Bool);
  void(HOST_MEMBER* SetDone)(Self, Bool);
  Bool(HOST_MEMBER* HasMore)(Self);
  void(HOST_MEMBER* SetIntProperty)(Self, const char*, std::int32_t);
  void(HOST_MEMBER* SetTextProperty)(Self, const char*, const char*);
  void(HOST_MEMBER* SetOwnerFeature)(Self, const char*);
};

struct TNoteUtilityTable {
  Self(HOST_MEMBER* CreateNote)(Self, Value, const char*, std::int32_t, Value);
  Bool(HOST_MEMBER* ShowNote)(Self, Self);
  Value(HOST_MEMBER* EndNote)(Self, Value, Self, std::int32_t, Value);
  Value(HOST_MEMBER* UpdateNote)(Self, Value, Value);
};

// A feature of the host that owns a window ("Stock.zjgf").
struct TFeatureViewTable {
  Self(HOST_MEMBER* GetSelf)(Self);
  Self(HOST_MEMBER* GetEntry)(Self);
  void(HOST_MEMBER* SetEntry)(Self, Self);
  void(HOST_MEMBER* Destroy)(Self);
  Hwnd(HOST_MEMBER* GetWindow)(Self);
};

struct TPortTable {
  Bool(HOST_MEMBER* PreTranslateForeign)(Self, Hwnd, void*);
  void(HOST_MEMBER* OnUserActivity)(Self);
  Bool(HOST_MEMBER* IsBusy)(Self);
  Bool(HOST_MEMBER* AddPushSink)(Self, Self);
  Bool(HOST_MEMBER* RemovePushSink)(Self, Self);
  Bool(HOST_MEMBER* AddJobListener)(Self, Self);
  Bool(HOST_MEMBER* RemoveJobListener)(Self, Self);
  Self(HOST_MEMBER* FindFeature)(Self, const char*, Value);
  Self(HOST_MEMBER* GetActiveFeature)(Self);
  Self(HOST_MEMBER* GetModule)(Self, const char*);
};

// The host's profile documents: the host's class declares its virtual
// destructor first, so its deleting destructor takes slot 0 and the 28
// document operations follow in slots 1 to 28. The plug-in never ends a
// host document: slot 0 must never be called.
using Node = void*;
using Attr = void*;
struct TProfileTable {
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
  std::int32_t(HOST_MEMBER* GetNodeType)(Self, Node);
  const char*(HOST_MEMBER* GetNodeName)(Self, Node);
  const char*(HOST_MEMBER* GetNodeText)(Self, Node);
  Node(HOST_MEMBER* GetParentNode)(Self, Node);
  Node(HOST_MEMBER* GetFirstChild)(Self, Node);
  Node(HOST_MEMBER* GetNextSibling)(Self, Node);
  Node(HOST_MEMBER* FindChild)(Self, Node, const char*);
  Node(HOST_MEMBER* AddNode)(Self, Node, Node, const char*, std::int32_t, std::int32_t);
  Node(HOST_MEMBER* FindOrAddChild)(Self, Node, const char*, std::int32_t, std::int32_t);
  Node(HOST_MEMBER* AddPath)(Self, const char*, std::int32_t, std::int32_t);
  Node(HOST_MEMBER* FindPath)(Self, const char*);
  std::int32_t(HOST_MEMBER* RemoveChildrenWhere)(Self, Node, const char*, const char*, const char*);
  std::int32_t(HOST_MEMBER* RemoveChildren)(Self, Node, const char*);
  std::int32_t(HOST_MEMBER* RemoveNode)(Self, Node);
  std::int32_t(HOST_MEMBER* SetNodeText)(Self, Node, const char*);
  std::int32_t(HOST_MEMBER* SetNodeType)(Self, Node, std::int32_t);
  const char*(HOST_MEMBER* GetAttrName)(Self, Attr);
  const char*(HOST_MEMBER* GetAttribute)(Self, Node, const char*);
  const char*(HOST_MEMBER* GetAttrValue)(Self, Attr);
  Attr(HOST_MEMBER* GetFirstAttr)(Self, Node);
  Attr(HOST_MEMBER* GetNextAttr)(Self, Attr);
  Attr(HOST_MEMBER* FindAttr)(Self, Node, const char*);
  Attr(HOST_MEMBER* AddAttr)(Self, Node, Attr);
  Attr(HOST_MEMBER* ResetAttribute)(Self, Node, const char*);
  std::int32_t(HOST_MEMBER* SetAttribute)(Self, Node, const char*, const char*);
  std::int32_t(HOST_MEMBER* SetAttr)(Self, Attr, const char*, const char*);
  std::int32_t(HOST_MEMBER* RemoveAttr)(Self, Node, const char*);
  std::int32_t(HOST_MEMBER* RemoveAllAttrs)(Self, Node);
};
static_assert(SlotCount<TProfileTable>() == 29);

// The service interface of a service feature, also the interface of the
// service's subscribers: 29 slots.
struct THelperTable {
  Self(HOST_MEMBER* GetServiceObject)(Self);
  Self(HOST_MEMBER* GetEntry)(Self);
  void(HOST_MEMBER* SetEntry)(Self, Self);
  void(HOST_MEMBER* Destroy)(Self);
  Self(HOST_MEMBER* GetInterface)(Self, std::int32_t);
  Bool(HOST_MEMBER* RefreshModules)(Self);
  void(HOST_MEMBER* Nothing0[2])(Self);
  void(HOST_MEMBER* Nothing1[7])(Self, Value);
  void(HOST_MEMBER* OnTick)(Self, Value);
  void(HOST_MEMBER* Nothing2[7])(Self, Value);
  void(HOST_MEMBER* Nothing3)(Self, Value, Value);
  std::int32_t(HOST_MEMBER* OnPushData)(Self, std::int32_t, const void*, std::int32_t, const void*, std::int32_t);
  Bool(HOST_MEMBER* AddSubscriber)(Self, Self);
  Bool(HOST_MEMBER* AddNotifyWindow)(Self, Hwnd, std::uint32_t);
  Bool(HOST_MEMBER* RemoveSubscriber)(Self, Self);
  Bool(HOST_MEMBER* RemoveNotifyWindow)(Self, Hwnd);
};
static_assert(SlotCount<THelperTable>() == 29);

// ---------------------------------------------------------------------------
// Tables the plug-in offers

struct TAddinTable {
  const char*(HOST_MEMBER* GetName)(Self);
  const char*(HOST_MEMBER* GetDescription)(Self);
  const char*(HOST_MEMBER* GetBuildDate)(Self);
  const char*(HOST_MEMBER* GetBuildTime)(Self);
  std::int32_t(HOST_MEMBER* GetRequiredInterfaces)(Self, void*, std::int32_t);
  Bool(HOST_MEMBER* Initialize)(Self, Self, Value, Value);
  Bool(HOST_MEMBER* Uninitialize)(Self);
  Self(HOST_MEMBER* GetPort)(Self);
  std::int32_t(HOST_MEMBER* GetFeatureEntries)(Self, Self*, std::int32_t);
  Bool(HOST_MEMBER* PreTranslateModuleMessage)(Self, Hwnd, void*);
  Bool(HOST_MEMBER* PreCreateFeature)(Self, Self, Value, void*, void**, Bool*);
  void(HOST_MEMBER* RefreshModules)(Self);
  void(HOST_MEMBER* OnUserLogin)(Self, Self);
  void(HOST_MEMBER* OnUserProfile)(Self, Self);
  void(HOST_MEMBER* Nothing0[2])(Self, Value);
  Value(HOST_MEMBER* OnUserLogout)(Self, Self, Value);
  void(HOST_MEMBER* Nothing1[9])(Self, Value);
  void(HOST_MEMBER* Nothing2)(Self, Value, Value);
  Value(HOST_MEMBER* OnModuleCommand)(Self, std::uint32_t, Value, Value, Value, Value);
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
};
static_assert(SlotCount<TAddinTable>() == 29);

struct TFeatureEntryTable {
  std::int32_t(HOST_MEMBER* GetId)(Self);
  std::int32_t(HOST_MEMBER* GetPlacement)(Self);
  const char*(HOST_MEMBER* GetName)(Self);
  const char*(HOST_MEMBER* GetCaption)(Self);
  const void*(HOST_MEMBER* GetClassRecord)(Self);
  Bool(HOST_MEMBER* CreateFeature)(Self, Value, void*, void**);
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
};

struct TPushSinkTable {
  void(HOST_MEMBER* OnRequestSent)(Self, Self);
  void(HOST_MEMBER* Nothing)(Self, Value);
  void(HOST_MEMBER* OnAnswer)(Self, Self);
  void(HOST_MEMBER* OnPush)(Self, Self);
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
};

struct TJobListenerTable {
  void(HOST_MEMBER* OnJobEvent)(Self, Self);
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
};

// The login extension "GINA.PUSH".
struct TGinaExtendTable {
  Self(HOST_MEMBER* GetSelf)(Self);
  Self(HOST_MEMBER* GetEntry)(Self);
  void(HOST_MEMBER* SetEntry)(Self, Self);
  void(HOST_MEMBER* Destroy)(Self);
  Bool(HOST_MEMBER* OnLoginEvent)(Self, Self);
  Bool(HOST_MEMBER* Nothing)(Self, Value, Value);
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
  const void*(HOST_MEMBER* GetClassRecord)(Self);
};

// The note renderer "Note.ListNoteRender": 14 slots.
struct TListNoteRenderTable {
  Self(HOST_MEMBER* GetSelf)(Self);
  Self(HOST_MEMBER* GetEntry)(Self);
  void(HOST_MEMBER* SetEntry)(Self, Self);
  void(HOST_MEMBER* Destroy)(Self);
  std::int32_t(HOST_MEMBER* GetButtons)(Self, std::uint32_t*, std::int32_t);
  void(HOST_MEMBER* GetButtonText)(Self, std::int32_t, char*, std::int32_t);
  Hwnd(HOST_MEMBER* Create)(Self, Value, Self);
  Bool(HOST_MEMBER* Nothing0[2])(Self, Value);
  Value(HOST_MEMBER* OnCloseButton)(Self, Value);
  void(HOST_MEMBER* Nothing1)(Self, Value, Value);
  Value(HOST_MEMBER* OnNoteUpdate)(Self, Value);
  const char*(HOST_MEMBER* GetStatusText)(Self, Value);
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
};
static_assert(SlotCount<TListNoteRenderTable>() == 14);

// The primary interface of the push service object.
struct TServiceObjectTable {
  Self(HOST_MEMBER* DeletingDestructor)(Self, unsigned);
  Self(HOST_MEMBER* GetServiceInterface)(Self);
  const void*(HOST_MEMBER* GetClassRecord)(Self);
};

// Records the plug-in hands out.
struct TClassRecord {
  const char* className;
  std::uint32_t objectSize;
  std::uint32_t publish;
  void* (*create)();
};

struct TRequirementRow {
  const char* name;
  const char* version;
  Value flags;
};

// The header that follows a feature interface's table pointer.
struct TFeatureHeader {
  Self port;
  Self modules[5];
  Self addin;
  Value reserved;
  Self entry;
  Value argument;
};

using GetObjectFn = void* (*)();
constexpr const char* kGetObjectExport = "Addin_GetObject";

}  // namespace hostabi
