// Reading settings out of a profile document: a reader over a document and
// section cursors that walk down its elements and read their attributes.
// Everything goes through the document's 28 operations, so the reader works
// as well over a document that forwards them to a host profile.
#pragma once

#include "plugin/litexml/xml.h"

namespace litexml {

class CXmlProfileReader;

// A position in the profile: a node of the document and the same place in
// the default document. A cursor whose node is missing finds nothing below
// it; a cursor without a reader reports "m_pPX!=NULL" and fails.
class CXmlSection {
 public:
  CXmlSection() = default;
  CXmlSection(CXmlProfileReader* reader, CXmlNode* node, CXmlNode* defaultNode)
      : reader_(reader), node_(node), defaultNode_(defaultNode) {}

  // The child element `name`. A read-only reader only finds it, unless bit
  // 0 of `flags` is set; otherwise it is found or added (FindOrAddChild
  // with type 2 and `flags`).
  CXmlSection Child(const char* name, int flags = 0) const;

  // The attribute `key` copied into `buffer` (cut to size - 1 bytes without
  // splitting a character, terminated): 1. When it is missing, or is
  // "[default]" under the reader's default mode, the default document's
  // value counts; when that is missing too, `def` (empty when null) is
  // copied and 0 answered.
  int ReadText(const char* key, char* buffer, int size, const char* def) const;

  // ReadText's value as a decimal integer (leading white space and a sign
  // allowed, read up to the first other character; beyond 32 bits it
  // stops at the limit): 1. Otherwise `*out` = `def` and 0.
  int ReadInt(const char* key, int* out, int def) const;

  // The integer attribute "Val" of element `key` below element `section`.
  int ReadSetting(const char* section, const char* key, int* out, int def) const;

  CXmlProfileReader* Reader() const { return reader_; }
  CXmlNode* Node() const { return node_; }
  CXmlNode* DefaultNode() const { return defaultNode_; }

 private:
  CXmlProfileReader* reader_ = nullptr;
  CXmlNode* node_ = nullptr;
  CXmlNode* defaultNode_ = nullptr;
};

class CXmlProfileReader {
 public:
  // The reader does not own the documents. `readOnly` nonzero: sections are
  // only found, never created. `defaultMode` with either of its two lowest
  // bits set: the value "[default]" stands for the default document's value.
  CXmlProfileReader(CXmlDocument* document, int readOnly, int defaultMode,
                    CXmlDocument* defaultDocument = nullptr);

  // A cursor at the root element (the first top-level node that is not a declaration).
  CXmlSection RootSection();

  CXmlDocument* Document() const { return document_; }
  CXmlDocument* DefaultDocument() const { return defaultDocument_; }
  bool ReadOnly() const { return readOnly_ != 0; }
  bool DefaultMode() const { return (defaultMode_ & 3) != 0; }

 private:
  int readOnly_;
  int defaultMode_;
  CXmlDocument* document_;
  CXmlNode* root_;
  CXmlDocument* defaultDocument_;
  CXmlNode* defaultRoot_;
};

}  // namespace litexml
