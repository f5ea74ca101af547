#include "platform/base/Persistent.h"

#include "platform/base/Exception.h"
#include "platform/base/Messages.h"

#include <cstdint>

void TPersistent::AssignTo(TPersistent& dest) { dest.AssignError(this); }

void TPersistent::DefineProperties(TFiler&) {}

void TPersistent::Assign(TPersistent* source) {
    if (source == nullptr)
        AssignError(nullptr);
    source->AssignTo(*this);
}

void TPersistent::AssignError(const TPersistent* source) const {
    std::string sourceName = source ? source->ClassName() : "nil";
    throw EConvertError(base::FmtLoadStr(res::SAssignError, {sourceName, std::string(ClassName())}));
}

namespace {

class TPropertyWriter final : public TFiler {
public:
    TPropertyWriter(TStream& stream, TPersistent* ancestor) : TFiler(ancestor), FStream(stream) {}
    void DefineBinaryProperty(const std::string& name, const TStreamProc&, const TStreamProc& write,
                              bool hasData) override {
        if (!hasData || !write)
            return;
        TMemoryStream data;
        write(data);
        std::uint8_t length = std::uint8_t(std::min<std::size_t>(name.size(), 255));
        FStream.WriteBuffer(&length, 1);
        FStream.WriteBuffer(name.data(), length);
        std::int64_t size = data.Size();
        if (size > 0xFFFFFFFFLL)
            throw EWriteError(base::LoadStr(res::SWriteError));
        std::uint8_t count[4] = {std::uint8_t(size), std::uint8_t(size >> 8), std::uint8_t(size >> 16),
                                 std::uint8_t(size >> 24)};
        FStream.WriteBuffer(count, 4);
        data.SaveToStream(FStream);
    }

private:
    TStream& FStream;
};

class TPropertyReader final : public TFiler {
public:
    explicit TPropertyReader(std::map<std::string, std::vector<std::uint8_t>> values)
        : TFiler(nullptr), FValues(std::move(values)) {}
    void DefineBinaryProperty(const std::string& name, const TStreamProc& read, const TStreamProc&, bool) override {
        auto it = FValues.find(name);
        if (it == FValues.end() || !read)
            return;
        TMemoryStream data(std::move(it->second));
        FValues.erase(it);
        read(data);
    }

private:
    std::map<std::string, std::vector<std::uint8_t>> FValues;
};

}  // namespace

void WriteProperties(TPersistent& object, TStream& stream, TPersistent* ancestor) {
    TPropertyWriter writer(stream, ancestor);
    object.DefineProperties(writer);
}

void ReadProperties(TPersistent& object, TStream& stream) {
    std::map<std::string, std::vector<std::uint8_t>> values;
    while (stream.Remaining() > 0) {
        std::uint8_t length = 0;
        stream.ReadBuffer(&length, 1);
        std::string name(length, '\0');
        stream.ReadBuffer(name.data(), length);
        std::uint8_t count[4];
        stream.ReadBuffer(count, 4);
        std::int64_t size = std::int64_t(count[0]) | (std::int64_t(count[1]) << 8) | (std::int64_t(count[2]) << 16) |
                            (std::int64_t(count[3]) << 24);
        // Checked before allocating: a damaged count must not ask for more than the stream holds.
        if (size > stream.Remaining())
            throw EReadError(base::LoadStr(res::SReadError));
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        stream.ReadBuffer(bytes.data(), size);
        values[name] = std::move(bytes);
    }
    TPropertyReader reader(std::move(values));
    object.DefineProperties(reader);
}
