#pragma once
// The root of the library's objects: what an event's sender is when it may be a control or a settings
// object.
namespace platform {

class TObject {
public:
    TObject() = default;
    virtual ~TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
};

} // namespace platform
