// The persistent base: objects that can be assigned from one another and that declare the
// properties they store, read and written through a filer.
#pragma once

#include "platform/base/Stream.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class TFiler;

class TPersistent {
public:
    virtual ~TPersistent() = default;

    /// Copies this object into dest; the base knows no way and raises EConvertError.
    virtual void AssignTo(TPersistent& dest);
    /// Declares the stored properties to the filer; the base stores none.
    virtual void DefineProperties(TFiler& filer);
    /// Copies source into this object; the base asks the source to assign itself to this one,
    /// and raises EConvertError with "nil" as the source's name when there is none.
    virtual void Assign(TPersistent* source);
    virtual const char* ClassName() const { return "TPersistent"; }

protected:
    /// Raises EConvertError: "<source> を <this> に代入することはできません".
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

/// The base of objects that can also answer interface queries; in C++ that is dynamic_cast, so
/// it adds only its name.
class TInterfacedPersistent : public TPersistent {
public:
    const char* ClassName() const override { return "TInterfacedPersistent"; }
};

/// What an object's DefineProperties talks to: a writer that stores the properties or a reader
/// that gives them back.
class TFiler {
public:
    using TStreamProc = std::function<void(TStream&)>;
    virtual ~TFiler() = default;

    /// The object's ancestor value when one is being compared against; nullptr otherwise.
    TPersistent* Ancestor() const { return FAncestor; }
    /// A property of raw bytes: a writer calls write when hasData holds, a reader calls read
    /// with the stored bytes when the property is present.
    virtual void DefineBinaryProperty(const std::string& name, const TStreamProc& read, const TStreamProc& write,
                                      bool hasData) = 0;

protected:
    explicit TFiler(TPersistent* ancestor) : FAncestor(ancestor) {}

private:
    TPersistent* FAncestor;
};

/// Stores an object's binary properties in a stream, each as: name length (1 byte), name,
/// byte count (32-bit little-endian), bytes.
void WriteProperties(TPersistent& object, TStream& stream, TPersistent* ancestor = nullptr);
/// Reads properties stored by WriteProperties (to the end of the stream) into the object; a
/// property the object does not declare is skipped. Raises EReadError for a damaged stream.
void ReadProperties(TPersistent& object, TStream& stream);
