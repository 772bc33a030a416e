// The add-in protocol between the trade client (the host) and Pellumin.dll,
// as the plug-in sees it: every interface either side calls, as abstract
// classes whose tables are laid out as a host built with Microsoft's
// compiler lays out the same classes.
//
// Rules of the protocol:
// - Texts are NUL-terminated GBK (code page 936) bytes.
// - Window handles are pointer-sized opaque values (HWND on Windows).
// - Opaque values are pointer-sized; 0/1 answers are 32-bit.
// - These are plain C++ classes of the host, not COM interfaces: no
//   reference counting, a destructor slot. Their operations are ordinary
//   virtual member functions, so they use the convention of MSVC's member
//   functions: __thiscall on i686 (`this` in ECX, the callee pops the stack
//   arguments), the single convention on x86_64. KVAPI says so, here only.
// - A "destructor (delete flag)" is ONE slot, MSVC's deleting destructor:
//   it destroys the object and frees it when bit 0 of the flag is set, and
//   answers the object. The tables declare it as an ordinary operation and
//   no class here has a virtual C++ destructor, which g++ would lay out as
//   two slots without a flag.
// - Operation order inside each interface is part of the protocol. Slots
//   whose meaning belongs to the host are kept as `Reserved...` operations
//   that the plug-in answers with nothing.
// - Objects that are reference counted say so (`Release`); every other
//   pointer handed across is borrowed.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define KVAPI __attribute__((thiscall))
#else
#define KVAPI
#endif

namespace kv {

// Bit 0 of a deleting destructor's flag: free the object's memory too.
constexpr unsigned kDeleteMemory = 1;

// The body of a deleting destructor of a heap object of final class T.
template <class T>
void* DeleteSelf(T* self, unsigned flag) {
  if (flag & kDeleteMemory)
    delete self;
  else
    self->~T();
  return self;
}

using KvHwnd = void*;
using KvValue = std::uintptr_t;
using KvBool = std::int32_t;

class IKvJob;
class IKvUser;
class IKvClient;
class IAddin;
class IFeatureEntry;
class IHelper;
class IKvNote;

// Modules the plug-in only stores; it never calls them.
class IKvSkinUtility;
class IKvGUIUtility;
class IKvComm;
class IKvGina;

// ---------------------------------------------------------------------------
// The host's profile documents

// Nodes and attributes of a host document: opaque to the plug-in.
using KvXmlNode = void*;
using KvXmlAttr = void*;

// A profile document of the host. The host's class declares a virtual
// destructor before the 28 document operations, so its deleting destructor
// is slot 0 and the operations are slots 1 to 28, in this order. The
// plug-in's own XML document has the same table with the same results, so
// it reads a host document through an adapter that forwards each operation
// to the same slot. A null node stands for the top level where an operation
// allows it.
class IXMLProfile {
  // Slot 0. Host documents belong to the host: the plug-in never ends one,
  // so the slot is declared only to keep the operations in their places.
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;

 public:
  virtual std::int32_t KVAPI GetNodeType(KvXmlNode node) = 0;
  virtual const char* KVAPI GetNodeName(KvXmlNode node) = 0;
  virtual const char* KVAPI GetNodeText(KvXmlNode node) = 0;
  virtual KvXmlNode KVAPI GetParentNode(KvXmlNode node) = 0;
  virtual KvXmlNode KVAPI GetFirstChild(KvXmlNode node) = 0;
  virtual KvXmlNode KVAPI GetNextSibling(KvXmlNode node) = 0;
  virtual KvXmlNode KVAPI FindChild(KvXmlNode parent, const char* name) = 0;
  virtual KvXmlNode KVAPI AddNode(KvXmlNode parent, KvXmlNode after, const char* name, std::int32_t length,
                                  std::int32_t type) = 0;
  virtual KvXmlNode KVAPI FindOrAddChild(KvXmlNode parent, const char* name, std::int32_t type,
                                         std::int32_t flags) = 0;
  virtual KvXmlNode KVAPI AddPath(const char* path, std::int32_t type, std::int32_t flags) = 0;
  virtual KvXmlNode KVAPI FindPath(const char* path) = 0;
  virtual std::int32_t KVAPI RemoveChildrenWhere(KvXmlNode parent, const char* name, const char* attrName,
                                                 const char* attrValue) = 0;
  virtual std::int32_t KVAPI RemoveChildren(KvXmlNode parent, const char* name) = 0;
  virtual std::int32_t KVAPI RemoveNode(KvXmlNode node) = 0;
  virtual std::int32_t KVAPI SetNodeText(KvXmlNode node, const char* text) = 0;
  virtual std::int32_t KVAPI SetNodeType(KvXmlNode node, std::int32_t type) = 0;
  virtual const char* KVAPI GetAttrName(KvXmlAttr attr) = 0;
  virtual const char* KVAPI GetAttribute(KvXmlNode node, const char* name) = 0;
  virtual const char* KVAPI GetAttrValue(KvXmlAttr attr) = 0;
  virtual KvXmlAttr KVAPI GetFirstAttr(KvXmlNode node) = 0;
  virtual KvXmlAttr KVAPI GetNextAttr(KvXmlAttr attr) = 0;
  virtual KvXmlAttr KVAPI FindAttr(KvXmlNode node, const char* name) = 0;
  virtual KvXmlAttr KVAPI AddAttr(KvXmlNode node, KvXmlAttr after) = 0;
  virtual KvXmlAttr KVAPI ResetAttribute(KvXmlNode node, const char* name) = 0;
  virtual std::int32_t KVAPI SetAttribute(KvXmlNode node, const char* name, const char* value) = 0;
  virtual std::int32_t KVAPI SetAttr(KvXmlAttr attr, const char* name, const char* value) = 0;
  virtual std::int32_t KVAPI RemoveAttr(KvXmlNode node, const char* name) = 0;
  virtual std::int32_t KVAPI RemoveAllAttrs(KvXmlNode node) = 0;

 protected:
  ~IXMLProfile() = default;
};

// ---------------------------------------------------------------------------
// Host objects of the logged-in session

// A host job: a request to the broker's servers and its answer.
class IKvJob {
 public:
  // The same job as a new reference that the caller releases.
  virtual IKvJob* KVAPI GetJob() = 0;
  virtual void KVAPI Release() = 0;
  virtual KvValue KVAPI GetCreateArgA() = 0;
  virtual KvValue KVAPI GetCreateArgB() = 0;
  virtual void KVAPI SetMode(std::int32_t mode) = 0;
  virtual void KVAPI SetFunction(std::int32_t function) = 0;
  virtual std::uint16_t KVAPI GetFunction() = 0;
  virtual KvBool KVAPI Send(KvValue a, KvValue b, KvValue c, KvValue d) = 0;
  // 0 when the answer is good.
  virtual std::int32_t KVAPI GetErrorType() = 0;
  virtual std::int32_t KVAPI GetErrorCode() = 0;
  virtual const char* KVAPI GetErrorText() = 0;
  // Borrowed: not released by the caller.
  virtual IKvClient* KVAPI GetClient() = 0;
  virtual KvBool KVAPI SeekFirst() = 0;
  // Copies the field's text, terminated, into the buffer.
  virtual KvBool KVAPI GetField(std::int32_t field, char* buffer, std::int32_t size, KvValue reserved) = 0;

 protected:
  ~IKvJob() = default;
};

class IKvUser {
 public:
  virtual void KVAPI Release() = 0;
  virtual IXMLProfile* KVAPI GetProfile() = 0;
  // A new job that the caller releases.
  virtual IKvJob* KVAPI CreateJob(KvValue a, KvValue b) = 0;
  virtual std::int32_t KVAPI GetAccountKind() = 0;
  virtual const char* KVAPI GetAccountCode() = 0;
  virtual const char* KVAPI GetCustomerNo() = 0;
  // The user's rights as numbers, e.g. "1 23 45".
  virtual const char* KVAPI GetRights() = 0;

 protected:
  ~IKvUser() = default;
};

class IKvClient {
 public:
  // The logged-in user, a reference that the caller releases.
  virtual IKvUser* KVAPI GetUser() = 0;
  // Nonzero when the job listener is to ignore the event.
  virtual KvBool KVAPI GetSkipFlag() = 0;

 protected:
  ~IKvClient() = default;
};

// The event of a finished host job, given to the job listener.
class IKvJobEvent {
 public:
  virtual IKvClient* KVAPI GetClient() = 0;
  virtual KvBool KVAPI IsSuccess() = 0;
  virtual std::uint16_t KVAPI GetFunction() = 0;

 protected:
  ~IKvJobEvent() = default;
};

// The event of a login, given to the login extension.
class IKvLoginEvent {
 public:
  // A reference that the caller releases.
  virtual IKvJob* KVAPI GetJob() = 0;
  // The object that creates the login's further jobs (it answers CreateJob
  // like a user); borrowed.
  virtual IKvUser* KVAPI GetRequester() = 0;

 protected:
  ~IKvLoginEvent() = default;
};

// ---------------------------------------------------------------------------
// Callbacks the plug-in registers with the port

class IPushSink {
 public:
  // The request object answers GetJob; it is compared by identity.
  virtual void KVAPI OnRequestSent(IKvJob* request) = 0;
  virtual void KVAPI Reserved1(KvValue) = 0;
  virtual void KVAPI OnAnswer(IKvJob* request) = 0;
  virtual void KVAPI OnPush(IKvJob* push) = 0;
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;

 protected:
  ~IPushSink() = default;
};

class IJobListener {
 public:
  virtual void KVAPI OnJobEvent(IKvJobEvent* event) = 0;
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;

 protected:
  ~IJobListener() = default;
};

// ---------------------------------------------------------------------------
// Features

// Every feature interface of the plug-in begins with these operations.
class IFeature {
 public:
  virtual void* KVAPI GetSelf() = 0;
  virtual IFeatureEntry* KVAPI GetEntry() = 0;
  virtual void KVAPI SetEntry(IFeatureEntry* entry) = 0;
  // Destroys the whole feature object.
  virtual void KVAPI Destroy() = 0;

 protected:
  ~IFeature() = default;
};

// A live feature of the host that owns a window ("Stock.zjgf").
class IFeatureView : public IFeature {
 public:
  virtual KvHwnd KVAPI GetWindow() = 0;

 protected:
  ~IFeatureView() = default;
};

// The login extension "GINA.PUSH".
class IGinaExtend : public IFeature {
 public:
  virtual KvBool KVAPI OnLoginEvent(IKvLoginEvent* event) = 0;
  virtual KvBool KVAPI Reserved1(KvValue, KvValue) = 0;
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;
  virtual const void* KVAPI GetClassRecord() = 0;

 protected:
  ~IGinaExtend() = default;
};

// The service interface of a service feature ("PushHelper"), also the
// interface of the service's subscribers.
class IHelper {
 public:
  virtual void* KVAPI GetServiceObject() = 0;
  virtual IFeatureEntry* KVAPI GetEntry() = 0;
  virtual void KVAPI SetEntry(IFeatureEntry* entry) = 0;
  virtual void KVAPI Destroy() = 0;
  virtual IHelper* KVAPI GetInterface(std::int32_t kind) = 0;
  virtual KvBool KVAPI RefreshModules() = 0;
  virtual void KVAPI Reserved1() = 0;
  virtual void KVAPI Reserved2() = 0;
  virtual void KVAPI Reserved3(KvValue) = 0;
  virtual void KVAPI Reserved4(KvValue) = 0;
  virtual void KVAPI Reserved5(KvValue) = 0;
  virtual void KVAPI Reserved6(KvValue) = 0;
  virtual void KVAPI Reserved7(KvValue) = 0;
  virtual void KVAPI Reserved8(KvValue) = 0;
  virtual void KVAPI Reserved9(KvValue) = 0;
  virtual void KVAPI OnTick(KvValue) = 0;
  virtual void KVAPI Reserved10(KvValue) = 0;
  virtual void KVAPI Reserved11(KvValue) = 0;
  virtual void KVAPI Reserved12(KvValue) = 0;
  virtual void KVAPI Reserved13(KvValue) = 0;
  virtual void KVAPI Reserved14(KvValue) = 0;
  virtual void KVAPI Reserved15(KvValue) = 0;
  virtual void KVAPI Reserved16(KvValue) = 0;
  virtual void KVAPI Reserved17(KvValue, KvValue) = 0;
  virtual std::int32_t KVAPI OnPushData(std::int32_t kind, const void* payload, std::int32_t payloadSize,
                                        const void* extra, std::int32_t extraSize) = 0;
  virtual KvBool KVAPI AddSubscriber(IHelper* subscriber) = 0;
  virtual KvBool KVAPI AddNotifyWindow(KvHwnd window, std::uint32_t message) = 0;
  virtual KvBool KVAPI RemoveSubscriber(IHelper* subscriber) = 0;
  virtual KvBool KVAPI RemoveNotifyWindow(KvHwnd window) = 0;

 protected:
  ~IHelper() = default;
};

// The primary interface of a service feature's object ("PushHelper"): the
// object itself, which the service interface's GetServiceObject answers.
class IServiceObject {
 public:
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;
  virtual IHelper* KVAPI GetServiceInterface() = 0;
  virtual const void* KVAPI GetClassRecord() = 0;

 protected:
  ~IServiceObject() = default;
};

// The slots of the service interface whose meaning belongs to the host,
// answered with nothing; services and subscribers derive from this.
class CHelperSlots : public IHelper {
 public:
  void KVAPI Reserved1() override {}
  void KVAPI Reserved2() override {}
  void KVAPI Reserved3(KvValue) override {}
  void KVAPI Reserved4(KvValue) override {}
  void KVAPI Reserved5(KvValue) override {}
  void KVAPI Reserved6(KvValue) override {}
  void KVAPI Reserved7(KvValue) override {}
  void KVAPI Reserved8(KvValue) override {}
  void KVAPI Reserved9(KvValue) override {}
  void KVAPI Reserved10(KvValue) override {}
  void KVAPI Reserved11(KvValue) override {}
  void KVAPI Reserved12(KvValue) override {}
  void KVAPI Reserved13(KvValue) override {}
  void KVAPI Reserved14(KvValue) override {}
  void KVAPI Reserved15(KvValue) override {}
  void KVAPI Reserved16(KvValue) override {}
  void KVAPI Reserved17(KvValue, KvValue) override {}

 protected:
  ~CHelperSlots() = default;
};

// ---------------------------------------------------------------------------
// Notes (pop-up notices of the host)

class IKvNote {
 public:
  virtual void KVAPI SetClosed(KvBool closed) = 0;
  virtual void KVAPI SetDone(KvBool done) = 0;
  virtual KvBool KVAPI HasMore() = 0;
  virtual void KVAPI SetIntProperty(const char* name, std::int32_t value) = 0;
  virtual void KVAPI SetTextProperty(const char* name, const char* text) = 0;
  virtual void KVAPI SetOwnerFeature(const char* featureName) = 0;

 protected:
  ~IKvNote() = default;
};

class IKvNoteUtility {
 public:
  virtual IKvNote* KVAPI CreateNote(KvValue a, const char* kind, std::int32_t style, KvValue b) = 0;
  virtual KvBool KVAPI ShowNote(IKvNote* note) = 0;
  virtual KvValue KVAPI EndNote(KvValue rendererKey, IKvNote* note, std::int32_t how, KvValue b) = 0;
  virtual KvValue KVAPI UpdateNote(KvValue rendererKey, KvValue noteOrValue) = 0;

 protected:
  ~IKvNoteUtility() = default;
};

// The note renderer "Note.ListNoteRender": the host's note utility has it
// render a note's body in a child window and asks it for the note's buttons
// and status text.
class IListNoteRender : public IFeature {
 public:
  // One value per button set the note offers; copies min(capacity, 1) values
  // into a buffer with a capacity above 0 and answers that number, else 1.
  virtual std::int32_t KVAPI GetButtons(std::uint32_t* values, std::int32_t capacity) = 0;
  // The caption of a button, copied terminated within `size`.
  virtual void KVAPI GetButtonText(std::int32_t button, char* buffer, std::int32_t size) = 0;
  // Makes the body window as a child of the parent window given at the
  // feature's creation; null when it cannot be made.
  virtual KvHwnd KVAPI Create(KvValue rendererKey, IKvNote* note) = 0;
  virtual KvBool KVAPI Reserved1(KvValue) = 0;
  virtual KvBool KVAPI Reserved2(KvValue) = 0;
  virtual KvValue KVAPI OnCloseButton(KvValue ignored) = 0;
  virtual void KVAPI Reserved3(KvValue, KvValue) = 0;
  virtual KvValue KVAPI OnNoteUpdate(KvValue value) = 0;
  // A text that stays valid until the next call (of any renderer).
  virtual const char* KVAPI GetStatusText(KvValue ignored) = 0;
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;

 protected:
  ~IListNoteRender() = default;
};

// ---------------------------------------------------------------------------
// The host's port

class IAddinPort {
 public:
  // Nonzero: the message is consumed. `message` is the thread message (MSG*).
  virtual KvBool KVAPI PreTranslateForeign(KvHwnd window, void* message) = 0;
  // Called on a left click or a key press in the plug-in's windows.
  virtual void KVAPI OnUserActivity() = 0;
  // Nonzero while the host is in a wait state.
  virtual KvBool KVAPI IsBusy() = 0;
  virtual KvBool KVAPI AddPushSink(IPushSink* sink) = 0;
  virtual KvBool KVAPI RemovePushSink(IPushSink* sink) = 0;
  virtual KvBool KVAPI AddJobListener(IJobListener* listener) = 0;
  virtual KvBool KVAPI RemoveJobListener(IJobListener* listener) = 0;
  // The live feature instance of that name, or null.
  virtual IFeatureView* KVAPI FindFeature(const char* name, KvValue reserved) = 0;
  virtual IFeatureView* KVAPI GetActiveFeature() = 0;
  // The named module's or feature's interface, or null; not released.
  virtual void* KVAPI GetModule(const char* name) = 0;

 protected:
  ~IAddinPort() = default;
};

// ---------------------------------------------------------------------------
// The add-in's side

// One row of the interface requirement table: three pointer-sized values
// (12 bytes on i686, 24 on x86_64).
struct TInterfaceRequirement {
  const char* name;
  const char* version;
  KvValue flags;
};
static_assert(sizeof(TInterfaceRequirement) == 3 * sizeof(void*));

// The out pointer of CreateFeature receives the new feature's interface.
class IFeatureEntry {
 public:
  virtual std::int32_t KVAPI GetId() = 0;
  virtual std::int32_t KVAPI GetPlacement() = 0;
  virtual const char* KVAPI GetName() = 0;
  virtual const char* KVAPI GetCaption() = 0;
  virtual const void* KVAPI GetClassRecord() = 0;
  virtual KvBool KVAPI CreateFeature(KvValue argument, void* existing, void** out) = 0;
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;

 protected:
  ~IFeatureEntry() = default;
};

class IAddin {
 public:
  virtual const char* KVAPI GetName() = 0;
  virtual const char* KVAPI GetDescription() = 0;
  virtual const char* KVAPI GetBuildDate() = 0;
  virtual const char* KVAPI GetBuildTime() = 0;
  virtual std::int32_t KVAPI GetRequiredInterfaces(TInterfaceRequirement* rows, std::int32_t capacity) = 0;
  virtual KvBool KVAPI Initialize(IAddinPort* port, KvValue a, KvValue b) = 0;
  virtual KvBool KVAPI Uninitialize() = 0;
  virtual IAddinPort* KVAPI GetPort() = 0;
  virtual std::int32_t KVAPI GetFeatureEntries(IFeatureEntry** entries, std::int32_t capacity) = 0;
  virtual KvBool KVAPI PreTranslateModuleMessage(KvHwnd window, void* message) = 0;
  virtual KvBool KVAPI PreCreateFeature(IFeatureEntry* entry, KvValue argument, void* existing, void** out,
                                        KvBool* result) = 0;
  virtual void KVAPI RefreshModules() = 0;
  virtual void KVAPI OnUserLogin(IKvClient* client) = 0;
  virtual void KVAPI OnUserProfile(IKvClient* client) = 0;
  virtual void KVAPI Reserved1(KvValue) = 0;
  virtual void KVAPI Reserved2(KvValue) = 0;
  virtual KvValue KVAPI OnUserLogout(IKvClient* client, KvValue ignored) = 0;
  virtual void KVAPI Reserved3(KvValue) = 0;
  virtual void KVAPI Reserved4(KvValue) = 0;
  virtual void KVAPI Reserved5(KvValue) = 0;
  virtual void KVAPI Reserved6(KvValue) = 0;
  virtual void KVAPI Reserved7(KvValue) = 0;
  virtual void KVAPI Reserved8(KvValue) = 0;
  virtual void KVAPI Reserved9(KvValue) = 0;
  virtual void KVAPI Reserved10(KvValue) = 0;
  virtual void KVAPI Reserved11(KvValue) = 0;
  virtual void KVAPI Reserved12(KvValue, KvValue) = 0;
  virtual KvValue KVAPI OnModuleCommand(std::uint32_t command, KvValue value, KvValue a, KvValue b, KvValue c) = 0;
  virtual void* KVAPI DeletingDestructor(unsigned flag) = 0;

 protected:
  ~IAddin() = default;
};

// The module command that sets the module's resource handle.
constexpr std::uint32_t kModuleCommandSetResource = 0xFFFF0006u;

// The DLL's one export, plain C convention, undecorated.
using AddinGetObjectFn = IAddin* (*)();
constexpr const char* kAddinExportName = "Addin_GetObject";

}  // namespace kv
