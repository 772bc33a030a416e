// The document's tree and its operations. Loading and parsing are in
// xmlload.cpp.
#include "plugin/litexml/xml.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "plugin/collection/clibverify.h"
#include "plugin/litexml/codepage.h"

namespace litexml {
namespace {

constexpr const char* kXmlFile = "litexml/xml.cpp";
constexpr int kLineParentWithoutRoot = 630;

constexpr bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

constexpr char FoldAscii(unsigned char c) {
  return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
}

// One part of a path after another; see FindPath.
class PathParts {
 public:
  explicit PathParts(const char* path) : p_(path) {
    while (IsBlankOrTab(*p_)) ++p_;
    fromRoot_ = p_[0] == '/' && p_[1] == '/';
  }
  bool FromRoot() const { return fromRoot_; }
  bool Next(std::string_view& part) {
    while (*p_ == '/' || IsBlankOrTab(*p_)) ++p_;
    if (!*p_) return false;
    const char* start = p_;
    while (*p_ && *p_ != '/') ++p_;
    const char* end = p_;
    while (end > start && IsBlankOrTab(end[-1])) --end;
    part = std::string_view(start, static_cast<size_t>(end - start));
    return true;
  }

 private:
  const char* p_;
  bool fromRoot_;
};

// Most texts are names and short values: copied with a few loads and
// stores inside the source's bounds rather than a library call.
inline void CopyChars(char* to, std::string_view from) {
  const size_t n = from.size();
  const char* s = from.data();
  if (n >= 8 && n <= 16) {
    uint64_t head, tail;
    std::memcpy(&head, s, 8);
    std::memcpy(&tail, s + n - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + n - 8, &tail, 8);
  } else if (n >= 4 && n < 8) {
    uint32_t head, tail;
    std::memcpy(&head, s, 4);
    std::memcpy(&tail, s + n - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + n - 4, &tail, 4);
  } else if (n < 4) {
    for (size_t i = 0; i < n; ++i) to[i] = s[i];
  } else {
    std::memcpy(to, s, n);
  }
}

}  // namespace

bool SameXmlName(const char* stored, std::string_view name) {
  if (!stored) return false;
  size_t i = 0;
  bool trail = false;  // the byte after a lead byte is never case-folded
  for (; i < name.size(); ++i) {
    const auto a = static_cast<unsigned char>(stored[i]);
    const auto b = static_cast<unsigned char>(name[i]);
    if (a == 0) return false;
    if (trail || (a >= 0x81 && a <= 0xFE)) {
      if (a != b) return false;
      trail = !trail;
      continue;
    }
    if (FoldAscii(a) != FoldAscii(b)) return false;
  }
  return stored[i] == 0;
}

// ---- Construction, texts and items -------------------------------------------

CXmlDocument::CXmlDocument(const char* rootName, int codePage)
    : nodes_(sizeof(CXmlNode)),
      attrs_(sizeof(CXmlAttr)),
      texts_(kXmlShortText),
      codePage_(codePage),
      converter_(&PlatformCodePageConverter()) {
  const std::string_view name = rootName && *rootName ? std::string_view(rootName) : "ROOT";
  const size_t n = name.size() < kRootNameMax ? name.size() : kRootNameMax;
  std::memcpy(rootName_, name.data(), n);
  rootName_[n] = 0;
  EnsureRoot();
}

CXmlDocument::~CXmlDocument() { RemoveAll(); }

void* CXmlDocument::DeletingDestructor(unsigned flag) {
  // A document of a derived kind has its own slot; this one ends exactly a
  // CXmlDocument, so the call is meant to be non-virtual.
  this->CXmlDocument::~CXmlDocument();
  if (flag & 1) ::operator delete(this);
  return this;
}

void CXmlDocument::SetConverter(ICodePageConverter* converter) {
  converter_ = converter ? converter : &PlatformCodePageConverter();
}

bool CXmlDocument::MakeText(std::string_view chars, CXmlText& text) {
  const size_t bytes = chars.size() + 1;
  if (bytes <= kXmlShortText) {
    text.chars = static_cast<char*>(texts_.Alloc());
    text.pooled = 1;
  } else {
    auto* heap = static_cast<HeapText*>(std::malloc(sizeof(HeapText) + bytes));
    if (!heap) return false;
    heap->prev = nullptr;
    heap->next = heapTexts_;
    if (heapTexts_) heapTexts_->prev = heap;
    heapTexts_ = heap;
    text.chars = reinterpret_cast<char*>(heap + 1);
    text.pooled = 0;
  }
  if (!text.chars) return false;
  CopyChars(text.chars, chars);
  text.chars[chars.size()] = 0;
  return true;
}

bool CXmlDocument::SetText(CXmlText& text, std::string_view chars) {
  CXmlText fresh{};
  if (!MakeText(chars, fresh)) return false;
  // The old text goes only now: `chars` may point into it.
  FreeText(text);
  text = fresh;
  return true;
}

void CXmlDocument::FreeText(CXmlText& text) {
  if (text.chars) {
    if (text.pooled) {
      texts_.Free(text.chars);
    } else {
      auto* heap = reinterpret_cast<HeapText*>(text.chars) - 1;
      (heap->prev ? heap->prev->next : heapTexts_) = heap->next;
      if (heap->next) heap->next->prev = heap->prev;
      std::free(heap);
    }
  }
  text = CXmlText{};
}

CXmlNode* CXmlDocument::NewNode(std::string_view name, int type) {
  void* item = nodes_.Alloc();
  if (!item) return nullptr;
  auto* node = new (item) CXmlNode{};
  node->type = type;
  if (!SetText(node->name, name)) {
    nodes_.Free(node);
    return nullptr;
  }
  return node;
}

CXmlAttr* CXmlDocument::NewAttr(std::string_view name, std::string_view value) {
  void* item = attrs_.Alloc();
  if (!item) return nullptr;
  auto* attr = new (item) CXmlAttr{};
  if (!SetText(attr->name, name) || !SetText(attr->value, value)) {
    FreeText(attr->name);
    attrs_.Free(attr);
    return nullptr;
  }
  return attr;
}

void CXmlDocument::FreeAttrs(CXmlNode* node) {
  for (CXmlAttr* a = node->firstAttr; a;) {
    CXmlAttr* next = a->next;
    FreeText(a->name);
    FreeText(a->value);
    attrs_.Free(a);
    a = next;
  }
  node->firstAttr = nullptr;
}

// Children first, then the attributes, the name and the node. Iterative,
// so that a deeply nested document cannot exhaust the stack.
void CXmlDocument::FreeSubtree(CXmlNode* top) {
  CXmlNode* node = top;
  while (node) {
    if (CXmlNode* child = node->firstChild) {
      node->firstChild = child->next;
      node = child;
      continue;
    }
    CXmlNode* up = node == top ? nullptr : node->parent;
    FreeAttrs(node);
    FreeText(node->name);
    nodes_.Free(node);
    node = up;
  }
}

// ---- Tree structure ----------------------------------------------------------

void CXmlDocument::Link(CXmlNode* parent, CXmlNode* after, CXmlNode* node, bool first) {
  if (parent && !first_) {
    // A parent while the document has no node at all cannot belong to it.
    coll::ClibVerify(kXmlFile, kLineParentWithoutRoot, "pParentNode==NULL");
    parent = nullptr;
    after = nullptr;
  }
  node->parent = parent;
  CXmlNode** head = parent ? &parent->firstChild : &first_;
  if (after) {
    node->next = after->next;
    after->next = node;
  } else if (first || !*head) {
    node->next = *head;
    *head = node;
  } else {
    CXmlNode* last = *head;
    while (last->next) last = last->next;
    node->next = nullptr;
    last->next = node;
  }
}

void CXmlDocument::Unlink(CXmlNode* node) {
  CXmlNode** link = node->parent ? &node->parent->firstChild : &first_;
  while (*link && *link != node) link = &(*link)->next;
  if (*link) *link = node->next;
  node->next = nullptr;
}

// Empties the document at once: the pools take back all their items in
// one step and the heap texts are freed from their own list, so the tree
// itself is not walked.
void CXmlDocument::RemoveAll() {
  while (HeapText* heap = heapTexts_) {
    heapTexts_ = heap->next;
    std::free(heap);
  }
  first_ = nullptr;
  nodes_.Reset();
  attrs_.Reset();
  texts_.Reset();
}

void CXmlDocument::EnsureRoot() {
  if (first_) return;
  if (CXmlNode* root = NewNode(rootName_, kXmlElement)) Link(nullptr, nullptr, root, true);
}

CXmlNode* CXmlDocument::FirstElement() const {
  CXmlNode* node = first_;
  while (node && node->type == kXmlDeclaration) node = node->next;
  return node;
}

CXmlNode* CXmlDocument::Find(CXmlNode* parent, std::string_view name) const {
  for (CXmlNode* c = parent ? parent->firstChild : first_; c; c = c->next)
    if (SameXmlName(c->name.chars, name)) return c;
  return nullptr;
}

CXmlAttr* CXmlDocument::FindAttribute(CXmlNode* node, std::string_view name) const {
  if (!node) return nullptr;
  for (CXmlAttr* a = node->firstAttr; a; a = a->next)
    if (SameXmlName(a->name.chars, name)) return a;
  return nullptr;
}

// The top level holds one element: a new element name at the top level
// renames it. Answers that element, or null when there is none yet.
CXmlNode* CXmlDocument::NameRoot(std::string_view name) {
  const size_t n = name.size() < kRootNameMax ? name.size() : kRootNameMax;
  std::memmove(rootName_, name.data(), n);
  rootName_[n] = 0;
  CXmlNode* root = FirstElement();
  if (root && !SameXmlName(root->name.chars, std::string_view(rootName_, n)))
    SetText(root->name, std::string_view(rootName_, n));
  return root;
}

CXmlNode* CXmlDocument::InsertNode(CXmlNode* parent, CXmlNode* after, std::string_view name, int type) {
  if (!parent && type != kXmlDeclaration) {
    if (CXmlNode* root = NameRoot(name)) return root;
  }
  CXmlNode* node = NewNode(name, type);
  if (node) Link(parent, after, node, true);
  return node;
}

template <typename Keep>
void CXmlDocument::RemoveChildrenIf(CXmlNode* parent, Keep keep) {
  CXmlNode** link = parent ? &parent->firstChild : &first_;
  while (CXmlNode* c = *link) {
    if (keep(c)) {
      link = &c->next;
    } else {
      *link = c->next;
      FreeSubtree(c);
    }
  }
  EnsureRoot();
}

// ---- The 28 document operations ---------------------------------------------

int CXmlDocument::GetNodeType(CXmlNode* node) { return node ? node->type : -1; }

const char* CXmlDocument::GetNodeName(CXmlNode* node) { return node ? node->name.chars : nullptr; }

const char* CXmlDocument::GetNodeText(CXmlNode* node) {
  if (!node || !node->firstChild || node->firstChild->type != kXmlText) return nullptr;
  return node->firstChild->name.chars;
}

CXmlNode* CXmlDocument::GetParentNode(CXmlNode* node) { return node ? node->parent : nullptr; }

CXmlNode* CXmlDocument::GetFirstChild(CXmlNode* node) { return node ? node->firstChild : first_; }

CXmlNode* CXmlDocument::GetNextSibling(CXmlNode* node) { return node ? node->next : nullptr; }

CXmlNode* CXmlDocument::FindChild(CXmlNode* parent, const char* name) {
  return name ? Find(parent, name) : nullptr;
}

CXmlNode* CXmlDocument::AddNode(CXmlNode* parent, CXmlNode* after, const char* name, int length, int type) {
  if (!name) return nullptr;
  if (after && after->parent != parent) return nullptr;
  const size_t n = length < 0 ? std::strlen(name) : strnlen(name, static_cast<size_t>(length));
  return InsertNode(parent, after, std::string_view(name, n), type);
}

CXmlNode* CXmlDocument::FindOrAddChild(CXmlNode* parent, const char* name, int type, int flags) {
  if (!name) return nullptr;
  if (parent && (parent->type == kXmlDeclaration || parent->type == kXmlText)) return nullptr;
  if (!parent && type != kXmlDeclaration) {
    NameRoot(name);
    flags &= ~kXmlAlwaysAdd;
  }
  if (!(flags & kXmlAlwaysAdd)) {
    if (CXmlNode* found = Find(parent, name)) {
      if (flags & kXmlEmptyFound) {
        RemoveChildrenIf(found, [](CXmlNode*) { return false; });
        FreeAttrs(found);
      }
      return found;
    }
  }
  CXmlNode* node = NewNode(name, type);
  if (!node) return nullptr;
  Link(parent, nullptr, node, flags & kXmlInsertFirst);
  if (parent && parent->type == kXmlEmptyElement) parent->type = kXmlElement;
  return node;
}

CXmlNode* CXmlDocument::WalkPath(const char* path, bool create, int type, int flags) {
  if (!path) return nullptr;
  PathParts parts(path);
  CXmlNode* node = nullptr;
  if (parts.FromRoot()) {
    node = Find(nullptr, rootName_);
    if (!node) return nullptr;
  }
  bool created = false;  // `node` was made by this walk
  std::string_view part;
  while (parts.Next(part)) {
    CXmlNode* child = Find(node, part);
    if (!child && create) {
      if (node && node->type != kXmlElement && !created) return nullptr;
      // Created where it is missing, the top level included: a path names
      // the nodes it walks and never renames the root on the way.
      child = NewNode(part, type);
      if (!child) return nullptr;
      Link(node, nullptr, child, flags & kXmlInsertFirst);
      if (node) node->type = kXmlElement;
      created = true;
    }
    if (!child) return nullptr;
    node = child;
  }
  return node;
}

CXmlNode* CXmlDocument::AddPath(const char* path, int type, int flags) { return WalkPath(path, true, type, flags); }

CXmlNode* CXmlDocument::FindPath(const char* path) { return WalkPath(path, false, 0, 0); }

int CXmlDocument::RemoveChildrenWhere(CXmlNode* parent, const char* name, const char* attrName,
                                      const char* attrValue) {
  RemoveChildrenIf(parent, [&](CXmlNode* c) {
    if (name && !SameXmlName(c->name.chars, name)) return true;
    const CXmlAttr* attr = attrName ? FindAttribute(c, attrName) : nullptr;
    if (!attr) return true;
    return attrValue && !SameXmlName(attr->value.chars, attrValue);
  });
  return 1;
}

int CXmlDocument::RemoveChildren(CXmlNode* parent, const char* name) {
  RemoveChildrenIf(parent, [&](CXmlNode* c) { return name && !SameXmlName(c->name.chars, name); });
  return 1;
}

int CXmlDocument::RemoveNode(CXmlNode* node) {
  if (!node) return 0;
  if (node == kXmlAllNodes) {
    RemoveAll();
    return 1;
  }
  Unlink(node);
  FreeSubtree(node);
  EnsureRoot();
  return 1;
}

int CXmlDocument::SetNodeText(CXmlNode* node, const char* text) {
  if (!node || !text || node->type == kXmlText || node->type == kXmlDeclaration) return 0;
  if (CXmlNode* child = node->firstChild) {
    if (child->type != kXmlText) return 0;
    return SetText(child->name, text) ? 1 : 0;
  }
  CXmlNode* child = NewNode(text, kXmlText);
  if (!child) return 0;
  Link(node, nullptr, child, true);
  if (node->type == kXmlEmptyElement) node->type = kXmlElement;
  return 1;
}

int CXmlDocument::SetNodeType(CXmlNode* node, int type) {
  if (!node) return 0;
  node->type = type;
  return 1;
}

const char* CXmlDocument::GetAttrName(CXmlAttr* attr) { return attr ? attr->name.chars : nullptr; }

const char* CXmlDocument::GetAttribute(CXmlNode* node, const char* name) {
  const CXmlAttr* attr = name ? FindAttribute(node, name) : nullptr;
  return attr ? attr->value.chars : nullptr;
}

const char* CXmlDocument::GetAttrValue(CXmlAttr* attr) { return attr ? attr->value.chars : nullptr; }

CXmlAttr* CXmlDocument::GetFirstAttr(CXmlNode* node) { return node ? node->firstAttr : nullptr; }

CXmlAttr* CXmlDocument::GetNextAttr(CXmlAttr* attr) { return attr ? attr->next : nullptr; }

CXmlAttr* CXmlDocument::FindAttr(CXmlNode* node, const char* name) {
  return name ? FindAttribute(node, name) : nullptr;
}

CXmlAttr* CXmlDocument::AddAttr(CXmlNode* node, CXmlAttr* after) {
  if (!node) return nullptr;
  CXmlAttr* attr = NewAttr({}, {});
  if (!attr) return nullptr;
  // `after` counts only when it is one of this node's attributes.
  CXmlAttr** link = &node->firstAttr;
  while (*link && *link != after) link = &(*link)->next;
  if (*link) link = &after->next;
  attr->next = *link;
  *link = attr;
  return attr;
}

CXmlAttr* CXmlDocument::FindOrAppendAttr(CXmlNode* node, const char* name) {
  if (CXmlAttr* attr = FindAttribute(node, name)) return attr;
  CXmlAttr* attr = NewAttr(name, {});
  if (!attr) return nullptr;
  CXmlAttr** link = &node->firstAttr;
  while (*link) link = &(*link)->next;
  *link = attr;
  return attr;
}

CXmlAttr* CXmlDocument::ResetAttribute(CXmlNode* node, const char* name) {
  if (!node || !name) return nullptr;
  CXmlAttr* attr = FindOrAppendAttr(node, name);
  return attr && SetText(attr->value, {}) ? attr : nullptr;
}

int CXmlDocument::SetAttribute(CXmlNode* node, const char* name, const char* value) {
  if (!node || !name || !value) return 0;
  CXmlAttr* attr = FindOrAppendAttr(node, name);
  return attr && SetText(attr->value, value) ? 1 : 0;
}

int CXmlDocument::SetAttr(CXmlAttr* attr, const char* name, const char* value) {
  if (!attr) return 0;
  // Both copies first: each argument may point into the other text.
  CXmlText newName{}, newValue{};
  if ((name && !MakeText(name, newName)) || (value && !MakeText(value, newValue))) {
    FreeText(newName);
    FreeText(newValue);
    return 0;
  }
  if (name) {
    FreeText(attr->name);
    attr->name = newName;
  }
  if (value) {
    FreeText(attr->value);
    attr->value = newValue;
  }
  return 1;
}

int CXmlDocument::RemoveAttr(CXmlNode* node, const char* name) {
  if (!node || !name) return 1;
  CXmlAttr** link = &node->firstAttr;
  while (CXmlAttr* a = *link) {
    if (SameXmlName(a->name.chars, name)) {
      *link = a->next;
      FreeText(a->name);
      FreeText(a->value);
      attrs_.Free(a);
    } else {
      link = &a->next;
    }
  }
  return 1;
}

int CXmlDocument::RemoveAllAttrs(CXmlNode* node) {
  if (node) FreeAttrs(node);
  return 1;
}

// ---- Further document functions ---------------------------------------------

void CXmlDocument::Clear() {
  RemoveAll();
  EnsureRoot();
}

const char* CXmlDocument::GetString(const char* path, const char* key, const char* def) {
  CXmlNode* node = FindPath(path);
  if (!node) return def;
  CXmlAttr* attr = FindAttr(node, key ? key : "DATA");
  const char* value = GetAttrValue(attr);
  return value ? value : def;
}

}  // namespace litexml
