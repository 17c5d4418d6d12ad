#pragma once

namespace quillmoor {

// A non-owning reference to a callable (x, y) -> bool, such as a scene's
// occlusion test handed to the sky events and the animal for one call.
// It never allocates; the callable must outlive the call it is passed to.
class PixelPredicate {
public:
    template <class F>
    PixelPredicate(const F& f)  // NOLINT: implicit by design, like a function reference
        : object_(&f), call_([](const void* o, int x, int y) { return (*static_cast<const F*>(o))(x, y); }) {}

    bool operator()(int x, int y) const { return call_(object_, x, y); }

private:
    const void* object_;
    bool (*call_)(const void*, int, int);
};

}  // namespace quillmoor
