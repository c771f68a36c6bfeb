// Reference counting for the layer's COM objects, one copy for every backend.
//
// Implements: AddRef and Release for an object that implements one or more
//   interfaces (a function here overrides the one of every interface), starting at
//   one reference; a QueryInterface that answers E_NOINTERFACE (and clears the
//   result), which objects that hand out views override.
// Does not: guard against a Release too many (as COM, that is the caller's fault);
//   aggregation. What an object does besides counting when it is released (tell
//   its owner, log the call) goes into released(), not into a Release of its own.
#pragma once

#include <atomic>

#include "../platform.h"

namespace fwlayer {

template <typename... Interfaces>
class ComObject : public Interfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        released(left);
        return left;
    }

protected:
    virtual ~ComObject() = default;
    // After every Release, with the references left; by default the object goes
    // with its last reference.
    virtual void released(ULONG left) {
        if (left == 0) delete this;
    }
    ULONG references() const { return refs_; }

private:
    std::atomic<ULONG> refs_{1};
};

}  // namespace fwlayer
