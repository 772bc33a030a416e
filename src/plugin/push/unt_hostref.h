// A reference to a host object (job or user) that the plug-in took and must
// release, released when it goes out of scope on every path.
#pragma once

#include <utility>

namespace push {

template <class T>
class THostRef {
 public:
  explicit THostRef(T* object) : object_(object) {}
  ~THostRef() {
    if (object_) object_->Release();
  }
  THostRef(const THostRef&) = delete;
  THostRef& operator=(const THostRef&) = delete;

  T* get() const { return object_; }
  // Hands the reference over to the caller.
  T* release() {
    T* object = object_;
    object_ = nullptr;
    return object;
  }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  T* object_;
};

}  // namespace push
