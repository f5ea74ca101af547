// The chunk base class, the chunk list, the registry of chunk classes and the PNG check value.
#include "png/PngImage.h"
#include "platform/gdi/Storage.h"

#include <algorithm>
#include <cstring>

namespace png {

// ---- class references -------------------------------------------------------------------------

std::string TChunkClass::ChunkTypeName() const {
    // Class names are "TChunk" followed by the type letters.
    const std::size_t length = std::strlen(Name);
    return length > 6 ? std::string(Name + 6) : std::string();
}

bool TChunkClass::InheritsFrom(const TChunkClass& other) const {
    for (const TChunkClass* cls = this; cls != nullptr; cls = cls->Parent) {
        if (cls == &other)
            return true;
    }
    return false;
}

const TChunkClass& TChunk::StaticClass() {
    static const TChunkClass cls{"TChunk", nullptr, [](TPNGObject& owner) -> std::unique_ptr<TChunk> {
                                     return std::make_unique<TChunk>(owner);
                                 }};
    return cls;
}

PNG_CHUNK_CLASS(TChunkIEND, TChunk)

// ---- byte order and check value -----------------------------------------------------------------

std::uint32_t SwapBytes32(std::uint32_t value) { return __builtin_bswap32(value); }

std::uint32_t SwapBytes16(std::uint32_t value) { return std::uint32_t(__builtin_bswap16(std::uint16_t(value))); }

namespace {

using TCrcTable = std::array<std::uint32_t, 256>;

constexpr TCrcTable MakeCrcTable() {
    TCrcTable table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

// The table is made by the compiler, so there is no first-use race and nothing to reset.
constexpr TCrcTable kCrcTable = MakeCrcTable();

std::uint32_t ReadBigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) | (std::uint32_t(bytes[2]) << 8) |
           std::uint32_t(bytes[3]);
}

void WriteBigEndian32(TStream& stream, std::uint32_t value) {
    const std::uint8_t bytes[4] = {std::uint8_t(value >> 24), std::uint8_t(value >> 16), std::uint8_t(value >> 8),
                                   std::uint8_t(value)};
    stream.Write(bytes, 4);
}

}  // namespace

std::uint32_t CrcUpdate(std::uint32_t crc, const void* bytes, std::size_t count) {
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    for (std::size_t i = 0; i < count; ++i)
        crc = kCrcTable[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

// ---- the chunk base ---------------------------------------------------------------------------

TChunk::TChunk(TPNGObject& owner, const TChunkClass& cls) : FData(new std::uint8_t[1]{0}), FOwner(&owner) {
    const std::string name = cls.ChunkTypeName();
    if (name.size() == 4)
        std::memcpy(FType.data(), name.data(), 4);
}

void TChunk::SetDataSize(std::int32_t size) {
    if (size < 0)
        size = 0;
    // A chunk's length comes from the file, so its data passes the storage gate like pixels do.
    std::unique_ptr<std::uint8_t[]> data = gdi::AllocateStorage(std::size_t(size) + 1);
    if (data == nullptr)
        TPNGObject::RaisePngError<EPNGOutMemory>(res::SPngOutMemory);
    std::memcpy(data.get(), FData.get(), std::size_t(std::min(size, FDataSize)));
    FData = std::move(data);
    FDataSize = size;
}

std::string TChunk::TypeName() const {
    const auto end = std::find(FType.begin(), FType.end(), '\0');
    return std::string(FType.begin(), end);
}

TChunkIHDR& TChunk::HeaderChunk() const {
    auto* header = dynamic_cast<TChunkIHDR*>(FOwner->ChunkList.Chunk(0));
    if (header == nullptr)
        throw EInvalidCast(base::LoadStr(res::SInvalidCast));
    return *header;
}

void TChunk::CopyChunk(const TChunk& source) {
    FType = source.FType;
    SetDataSize(source.FDataSize);
    std::memcpy(FData.get(), source.FData.get(), std::size_t(FDataSize));
}

std::uint32_t TChunk::DataCrc() const {
    std::uint32_t crc = CrcUpdate(0xFFFFFFFFu, FType.data(), 4);
    crc = CrcUpdate(crc, FData.get(), std::size_t(FDataSize));
    return ~crc;
}

bool TChunk::ReadChunk(TStream& stream, const TChunkType&, std::int32_t length) {
    // A length with the top bit set, or one the stream cannot hold, describes a chunk that cannot
    // match its check value; refusing it here keeps a hostile length from sizing the buffer.
    if (length < 0 || length > stream.Remaining())
        TPNGObject::RaisePngError<EPngInvalidCRC>(res::SPngInvalidCRC);
    SetDataSize(length);
    if (length > 0)
        stream.Read(FData.get(), length);
    std::uint8_t stored[4] = {0, 0, 0, 0};
    stream.Read(stored, 4);
    if (ReadBigEndian32(stored) != DataCrc())
        TPNGObject::RaisePngError<EPngInvalidCRC>(res::SPngInvalidCRC);
    return true;
}

bool TChunk::WriteChunk(TStream& stream) {
    WriteBigEndian32(stream, std::uint32_t(FDataSize));
    stream.Write(FType.data(), 4);
    if (FDataSize != 0)
        stream.Write(FData.get(), FDataSize);
    WriteBigEndian32(stream, DataCrc());
    return true;
}

// ---- the chunk list ---------------------------------------------------------------------------

void* TPNGPointerList::Extract(void* item) {
    for (std::size_t i = FItems.size(); i-- > 0;) {
        if (FItems[i] == item) {
            FItems.erase(FItems.begin() + std::ptrdiff_t(i));
            return item;
        }
    }
    return nullptr;
}

void* TPNGPointerList::ItemAt(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return FItems[std::size_t(index)];
}

void TPNGPointerList::PutItemAt(int index, void* item) {
    if (index < 0 || index >= Count())
        return;
    FItems[std::size_t(index)] = item;
}

void TPNGPointerList::ChangeCount(int count) {
    if (count <= 0) {
        FItems.clear();
        FItems.shrink_to_fit();
        return;
    }
    FItems.resize(std::size_t(count), nullptr);
}

TChunk* TPNGList::FindByClass(const TChunkClass& cls) const {
    for (int i = 0; i < Count(); ++i) {
        TChunk* chunk = Chunk(i);
        if (chunk != nullptr && chunk->ClassType().InheritsFrom(cls))
            return chunk;
    }
    return nullptr;
}

// ---- the registry -----------------------------------------------------------------------------

namespace {

struct TChunkClassRecord {
    const TChunkClass* ClassReference;
};

struct TRegistry {
    TPNGPointerList List{nullptr};
    std::vector<std::unique_ptr<TChunkClassRecord>> Records;
};

std::unique_ptr<TRegistry>& Registry() {
    static std::unique_ptr<TRegistry> registry;
    return registry;
}

}  // namespace

void RegisterChunkClass(const TChunkClass& cls) {
    if (!Registry())
        Registry() = std::make_unique<TRegistry>();
    Registry()->Records.push_back(std::make_unique<TChunkClassRecord>(TChunkClassRecord{&cls}));
    Registry()->List.Append(Registry()->Records.back().get());
}

void RegisterStandardChunkClasses() {
    RegisterChunkClass(TChunkIEND::StaticClass());
    RegisterChunkClass(TChunkIHDR::StaticClass());
    RegisterChunkClass(TChunkIDAT::StaticClass());
    RegisterChunkClass(TChunkPLTE::StaticClass());
    RegisterChunkClass(TChunkgAMA::StaticClass());
    RegisterChunkClass(TChunktRNS::StaticClass());
    RegisterChunkClass(TChunkpHYs::StaticClass());
    RegisterChunkClass(TChunktIME::StaticClass());
    RegisterChunkClass(TChunktEXt::StaticClass());
    RegisterChunkClass(TChunkzTXt::StaticClass());
}

void ReleaseChunkClasses() { Registry().reset(); }

std::vector<const TChunkClass*> RegisteredChunkClasses() {
    std::vector<const TChunkClass*> classes;
    if (Registry()) {
        for (int i = 0; i < Registry()->List.Count(); ++i)
            classes.push_back(static_cast<TChunkClassRecord*>(Registry()->List.ItemAt(i))->ClassReference);
    }
    return classes;
}

std::unique_ptr<TChunk> CreateChunkForType(TPNGObject& owner, const TChunkType& type) {
    const TChunkClass* cls = &TChunk::StaticClass();
    const auto end = std::find(type.begin(), type.end(), '\0');
    const std::string name(type.begin(), end);
    if (Registry()) {
        for (int i = 0; i < Registry()->List.Count(); ++i) {
            const TChunkClass* candidate = static_cast<TChunkClassRecord*>(Registry()->List.ItemAt(i))->ClassReference;
            if (candidate->ChunkTypeName() == name) {
                cls = candidate;
                break;
            }
        }
    }
    std::unique_ptr<TChunk> chunk = cls->NewInstance(owner);
    chunk->SetTypeCode(type);
    return chunk;
}

}  // namespace png
