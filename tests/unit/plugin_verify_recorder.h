// Test helper for the plug-in's failed-check reports: a recorder that
// collects report texts while it lives. Outside a recorder, any report
// fails the running test instead of opening a box that waits for a user.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugin/collection/clibverify.h"

namespace testing_support {

class UnexpectedVerifySink final : public coll::IVerifySink {
 public:
  void Show(const std::string& text) override { ADD_FAILURE() << "unexpected CLIBVERIFY report: " << text; }
};

inline UnexpectedVerifySink g_unexpectedVerify;
inline coll::IVerifySink* const g_verifyDefault = coll::SetVerifySink(&g_unexpectedVerify);

class VerifyRecorder final : public coll::IVerifySink {
 public:
  VerifyRecorder() : previous_(coll::SetVerifySink(this)) {}
  ~VerifyRecorder() override { coll::SetVerifySink(previous_); }
  VerifyRecorder(const VerifyRecorder&) = delete;
  VerifyRecorder& operator=(const VerifyRecorder&) = delete;

  void Show(const std::string& text) override { texts.push_back(text); }

  std::vector<std::string> texts;

 private:
  coll::IVerifySink* previous_;
};

}  // namespace testing_support
