// The plug-in's small XML document. It reads the host's KvOem.xml and is
// the shape of the host's profile documents: its 28 document operations,
// in this order and with these results, are the operations of the host's
// IXMLProfile, so a document that forwards them to a host object can be
// read with the same profile reader (xmlprofile.h).
//
// The supported XML is a small subset: one optional declaration, elements,
// attributes in single or double quotes, and text. Comments, CDATA,
// document type declarations and character references are not known;
// input that holds them fails to load. All texts of the tree are bytes in
// the document's code page (GBK for the plug-in), terminated.
//
// A document is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "plugin/collection/coll.h"

namespace litexml {

class ICodePageConverter;

// Node types.
enum : int {
  kXmlDeclaration = 0,   // a tag closed by "?>"
  kXmlEmptyElement = 1,  // a tag closed by "/>"
  kXmlElement = 2,       // an element with content
  kXmlText = 3,          // text; the text is the node's name
  kXmlOpenElement = 4,   // an element whose start tag is being read
};

// Flags of FindOrAddChild and AddPath.
enum : int {
  kXmlInsertFirst = 4,   // a new node becomes the first child, not the last
  kXmlAlwaysAdd = 8,     // add a new node even when one of that name exists
  kXmlEmptyFound = 16,   // a found node loses its children and attributes
};

// A text of the tree: its characters and where they come from. Texts of at
// most kXmlShortText bytes with the terminator come from the document's
// short-text pool (pooled 1), longer ones from the heap (pooled 0).
struct CXmlText {
  char* chars;
  int32_t pooled;
};
constexpr size_t kXmlShortText = 16;

struct CXmlAttr;

struct CXmlNode {
  CXmlNode* parent;  // null at the top level
  CXmlNode* next;
  CXmlNode* firstChild;
  CXmlText name;
  CXmlAttr* firstAttr;
  int32_t type;
};

struct CXmlAttr {
  CXmlAttr* next;
  CXmlText name;
  CXmlText value;
};

static_assert(sizeof(void*) != 4 || sizeof(CXmlNode) == 28, "node record of the 32-bit plug-in");
static_assert(sizeof(void*) != 4 || sizeof(CXmlAttr) == 20, "attribute record of the 32-bit plug-in");

// RemoveNode's argument that empties the whole document.
inline CXmlNode* const kXmlAllNodes = reinterpret_cast<CXmlNode*>(static_cast<intptr_t>(-1));

class CXmlDocument {
 public:
  static constexpr size_t kRootNameMax = 255;

  // Create: the pools, the root name ("ROOT" when none is given; cut to
  // 255 bytes) and the root element (type 2) at the top level. `codePage`
  // is the code page the tree's texts are in.
  explicit CXmlDocument(const char* rootName = nullptr, int codePage = 936);
  // Not virtual: the table's destructor is the one deleting-destructor slot
  // below, as in the host's build of the same class. Documents are owned by
  // their exact type (on the stack or as members), never deleted through a base.
  ~CXmlDocument();
  CXmlDocument(const CXmlDocument&) = delete;
  CXmlDocument& operator=(const CXmlDocument&) = delete;

  // The first slot of the table: destroys the document and frees it when
  // bit 0 of the flag is set (only for a document made with new); answers
  // the document.
  virtual void* DeletingDestructor(unsigned flag);

  // ---- The 28 document operations (IXMLProfile order) --------------------
  // A null node stands for the top level where an operation allows it.
  // Names are compared ignoring ASCII case; the two bytes of a double-byte
  // character are compared exactly.

  // The node's type; -1 for null.
  virtual int GetNodeType(CXmlNode* node);
  // The element's name, or a text node's text; null for null.
  virtual const char* GetNodeName(CXmlNode* node);
  // The text of the node's first child when that child is a text node, else null.
  virtual const char* GetNodeText(CXmlNode* node);
  virtual CXmlNode* GetParentNode(CXmlNode* node);
  // The first top-level node for null.
  virtual CXmlNode* GetFirstChild(CXmlNode* node);
  virtual CXmlNode* GetNextSibling(CXmlNode* node);
  virtual CXmlNode* FindChild(CXmlNode* parent, const char* name);
  // Inserts a node of `type` named by the first `length` bytes of `name`
  // (all of it when `length` is negative) after `after`, or as the first
  // child when `after` is null. At the top level a nonzero type names the
  // document's root instead: the root name becomes the name and an
  // existing top-level element is renamed and answered. Null when `after`
  // is not a child of `parent`, or when memory runs out.
  virtual CXmlNode* AddNode(CXmlNode* parent, CXmlNode* after, const char* name, int length, int type);
  // The first child of that name, or a new one (see the flags). A text or
  // declaration parent answers null. At the top level a nonzero type names
  // the root element as AddNode does.
  virtual CXmlNode* FindOrAddChild(CXmlNode* parent, const char* name, int type, int flags);
  // Like FindPath, creating each missing part with `type`; a created node
  // that receives a child becomes type 2. Null when a missing part would go
  // below an existing node whose type is not 2.
  virtual CXmlNode* AddPath(const char* path, int type, int flags);
  // "A/B/C" from the top level, "//B/C" from the element named by the root
  // name. Leading blanks and tabs, runs of "/", blanks and tabs between
  // parts, and trailing blanks and tabs of a part are ignored.
  virtual CXmlNode* FindPath(const char* path);
  // Removes each child named `name` (any name when null) that has the
  // attribute `attrName` with the value `attrValue` (any value when null).
  virtual int RemoveChildrenWhere(CXmlNode* parent, const char* name, const char* attrName,
                                  const char* attrValue);
  // Removes each child named `name`; all children when `name` is null.
  virtual int RemoveChildren(CXmlNode* parent, const char* name);
  // 0 for null; kXmlAllNodes empties the document (no root is left);
  // otherwise the node and its subtree are removed.
  virtual int RemoveNode(CXmlNode* node);
  // A node without children gets a text child; a first child that is text
  // gets the new text. 0 otherwise, for null arguments, and for text and
  // declaration nodes.
  virtual int SetNodeText(CXmlNode* node, const char* text);
  // 1, or 0 for a null node.
  virtual int SetNodeType(CXmlNode* node, int type);
  virtual const char* GetAttrName(CXmlAttr* attr);
  // The value of the node's attribute of that name, or null.
  virtual const char* GetAttribute(CXmlNode* node, const char* name);
  virtual const char* GetAttrValue(CXmlAttr* attr);
  virtual CXmlAttr* GetFirstAttr(CXmlNode* node);
  virtual CXmlAttr* GetNextAttr(CXmlAttr* attr);
  virtual CXmlAttr* FindAttr(CXmlNode* node, const char* name);
  // A new attribute with empty name and value after `after` (one of the
  // node's attributes), or at the end of the node's list.
  virtual CXmlAttr* AddAttr(CXmlNode* node, CXmlAttr* after);
  // Finds or appends the attribute and empties its value; null for null arguments.
  virtual CXmlAttr* ResetAttribute(CXmlNode* node, const char* name);
  // Finds or appends the attribute and sets its value; 0 for null arguments.
  virtual int SetAttribute(CXmlNode* node, const char* name, const char* value);
  // Sets the name and the value where given; 0 for a null attribute.
  virtual int SetAttr(CXmlAttr* attr, const char* name, const char* value);
  // Removes every attribute of that name.
  virtual int RemoveAttr(CXmlNode* node, const char* name);
  virtual int RemoveAllAttrs(CXmlNode* node);
  // -------------------------------------------------------------------------

  // Reads the whole file (a UTF-8 path) and loads it as LoadBuffer does.
  // `key` would decipher an enciphered profile; none is supported, so a
  // key refuses the load. 0 when the file cannot be read.
  int LoadFile(const char* path, const char* key, int codePage);
  // Loads a document from exactly `length` bytes (never read past), with
  // its texts converted to `codePage`, which becomes the document's code
  // page. 0 on failure, which leaves only the root element.
  int LoadBuffer(const void* bytes, int64_t length, int codePage);
  // Removes every top-level node and creates the root element again.
  void Clear();
  // The value of attribute `key` ("DATA" when null) of the node at `path`,
  // or `def` when either is missing.
  const char* GetString(const char* path, const char* key, const char* def);

  const char* RootName() const { return rootName_; }
  int CodePage() const { return codePage_; }
  // Of the last load: the code page the document's bytes were in, the
  // encoding its declaration named (0 for none or an unknown name) and its
  // version.
  int SourceCodePage() const { return sourceCodePage_; }
  int DeclaredEncoding() const { return encoding_; }
  float Version() const { return version_; }

  // The port for character conversions; null restores the platform's.
  void SetConverter(ICodePageConverter* converter);

 private:
  // The header of a text on the heap: all of them are in one list, so that
  // emptying the document need not walk the tree to find them.
  struct HeapText {
    HeapText* prev;
    HeapText* next;
  };

  CXmlNode* NewNode(std::string_view name, int type);
  CXmlAttr* NewAttr(std::string_view name, std::string_view value);
  bool MakeText(std::string_view chars, CXmlText& text);
  bool SetText(CXmlText& text, std::string_view chars);
  void FreeText(CXmlText& text);
  void FreeAttrs(CXmlNode* node);
  void FreeSubtree(CXmlNode* node);
  void Link(CXmlNode* parent, CXmlNode* after, CXmlNode* node, bool first);
  void Unlink(CXmlNode* node);
  void RemoveAll();
  void EnsureRoot();
  CXmlNode* FirstElement() const;
  CXmlNode* Find(CXmlNode* parent, std::string_view name) const;
  CXmlAttr* FindAttribute(CXmlNode* node, std::string_view name) const;
  CXmlAttr* FindOrAppendAttr(CXmlNode* node, const char* name);
  CXmlNode* NameRoot(std::string_view name);
  CXmlNode* InsertNode(CXmlNode* parent, CXmlNode* after, std::string_view name, int type);
  template <typename Keep>
  void RemoveChildrenIf(CXmlNode* parent, Keep keep);
  CXmlNode* WalkPath(const char* path, bool create, int type, int flags);

  bool Parse(const char* p, const char* end);
  bool DecodeSource(std::string_view bytes, int codePage, std::string& converted, std::string_view& text);

  coll::CBlockPool nodes_;
  coll::CBlockPool attrs_;
  coll::CBlockPool texts_;
  CXmlNode* first_ = nullptr;
  HeapText* heapTexts_ = nullptr;
  char rootName_[kRootNameMax + 1] = {};
  int codePage_;
  int sourceCodePage_ = 936;
  int encoding_ = 65001;
  float version_ = 1.0f;
  ICodePageConverter* converter_;
};

// Name comparison of the document: ASCII letters match either case; a
// lead byte (0x81..0xFE) and the byte after it are compared exactly.
bool SameXmlName(const char* stored, std::string_view name);

}  // namespace litexml
