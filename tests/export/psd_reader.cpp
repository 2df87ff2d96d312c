// The tests' PSD reader.
#include "tests/export/psd_reader.h"

#include <fstream>
#include <iterator>

namespace mirel::testing {

namespace {

class Cursor {
  public:
    explicit Cursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }
    std::size_t at() const { return at_; }
    std::size_t left() const { return ok_ ? bytes_.size() - at_ : 0; }

    std::uint32_t number(int bytes) {
        if (!take(std::size_t(bytes))) return 0;
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | bytes_[at_ - bytes + i];
        return value;
    }
    std::vector<std::uint8_t> bytes(std::uint64_t count) {
        if (!take(count)) return {};
        return {bytes_.begin() + std::ptrdiff_t(at_ - count), bytes_.begin() + std::ptrdiff_t(at_)};
    }
    std::string text(std::size_t count) {
        const std::vector<std::uint8_t> raw = bytes(count);
        return {raw.begin(), raw.end()};
    }
    void skip(std::uint64_t count) { take(count); }

  private:
    bool take(std::uint64_t count) {
        if (!ok_ || count > bytes_.size() - at_) {
            ok_ = false;
            return false;
        }
        at_ += std::size_t(count);
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool ok_ = true;
};

bool fail(std::string& error, const std::string& why) {
    error = why;
    return false;
}

// The layer information after its length field: count, records, channel data.
bool readLayerInfo(Cursor& in, std::uint32_t length, PsdDocument& doc, std::string& error) {
    const std::size_t end = in.at() + length;
    const auto count = std::int16_t(in.number(2));
    for (int i = 0; i < (count < 0 ? -count : count); ++i) {
        PsdLayer layer;
        layer.top = std::int32_t(in.number(4));
        layer.left = std::int32_t(in.number(4));
        layer.bottom = std::int32_t(in.number(4));
        layer.right = std::int32_t(in.number(4));
        const std::uint32_t channels = in.number(2);
        for (std::uint32_t c = 0; c < channels; ++c) {
            PsdLayerChannel channel;
            channel.id = std::int16_t(in.number(2));
            channel.length = in.number(4);
            layer.channels.push_back(channel);
        }
        if (in.text(4) != "8BIM") return fail(error, "layer record without 8BIM");
        layer.blendMode = in.text(4);
        layer.opacity = std::uint8_t(in.number(1));
        in.skip(1);  // clipping
        layer.flags = std::uint8_t(in.number(1));
        in.skip(1);
        layer.extraLength = in.number(4);
        const std::size_t extraEnd = in.at() + layer.extraLength;
        in.skip(in.number(4));  // layer mask data
        layer.blendingRanges = in.bytes(in.number(4));
        const std::uint32_t nameLength = in.number(1);
        layer.name = in.text(nameLength);
        if (!in.ok() || in.at() > extraEnd)
            return fail(error, "layer record overruns its extra data");
        in.skip(extraEnd - in.at());
        doc.layers.push_back(std::move(layer));
    }
    for (PsdLayer& layer : doc.layers) {
        for (PsdLayerChannel& channel : layer.channels) {
            channel.compression = std::uint16_t(in.number(2));
            channel.samples = in.bytes(channel.length - 2);
        }
    }
    if (!in.ok() || in.at() != end) return fail(error, "layer information length mismatch");
    return true;
}

std::uint32_t sampleAt(const std::uint8_t* at, std::uint32_t bytes) {
    std::uint32_t value = 0;
    for (std::uint32_t i = 0; i < bytes; ++i) value = value << 8 | at[i];
    return value;
}

}  // namespace

const PsdResource* PsdDocument::resource(std::uint16_t id) const {
    for (const PsdResource& r : resources)
        if (r.id == id) return &r;
    return nullptr;
}

std::uint32_t PsdDocument::mergedSample(int plane, std::uint32_t x, std::uint32_t y) const {
    const std::uint64_t offset =
        plane * planeBytes() + (std::uint64_t(y) * width + x) * sampleBytes();
    return sampleAt(merged.data() + offset, sampleBytes());
}

std::uint32_t PsdDocument::layerSample(int channel, std::uint32_t x, std::uint32_t y) const {
    const std::vector<std::uint8_t>& samples = layers.at(0).channels.at(channel).samples;
    return sampleAt(samples.data() + (std::uint64_t(y) * width + x) * sampleBytes(), sampleBytes());
}

bool readPsd(std::span<const std::uint8_t> bytes, PsdDocument& doc, std::string& error) {
    doc = PsdDocument{};
    Cursor in(bytes);
    if (in.text(4) != "8BPS") return fail(error, "no 8BPS signature");
    doc.version = std::uint16_t(in.number(2));
    in.skip(6);
    doc.channels = std::uint16_t(in.number(2));
    doc.height = in.number(4);
    doc.width = in.number(4);
    doc.depth = std::uint16_t(in.number(2));
    doc.mode = std::uint16_t(in.number(2));
    doc.colourModeData = in.bytes(in.number(4));

    doc.resourcesLength = in.number(4);
    const std::size_t resourcesEnd = in.at() + doc.resourcesLength;
    while (in.ok() && in.at() < resourcesEnd) {
        if (in.text(4) != "8BIM") return fail(error, "resource without 8BIM");
        PsdResource resource;
        resource.id = std::uint16_t(in.number(2));
        const std::uint32_t nameLength = in.number(1);
        in.skip(nameLength + (nameLength + 1) % 2);
        resource.size = in.number(4);
        resource.data = in.bytes(resource.size);
        in.skip(resource.size % 2);
        doc.resources.push_back(std::move(resource));
    }
    if (!in.ok() || in.at() != resourcesEnd) return fail(error, "image resources length mismatch");

    doc.layerAndMaskLength = in.number(4);
    const std::size_t layersEnd = in.at() + doc.layerAndMaskLength;
    const std::uint32_t infoLength = in.number(4);
    if (infoLength > 0) {
        doc.layerInfoLength = infoLength;
        if (!readLayerInfo(in, infoLength, doc, error)) return false;
    }
    in.skip(in.number(4));  // global layer mask
    while (in.ok() && in.at() < layersEnd) {
        if (in.text(4) != "8BIM") return fail(error, "tagged block without 8BIM");
        PsdTaggedBlock block;
        block.key = in.text(4);
        block.length = in.number(4);
        if (block.key == "Lr16" || block.key == "Lr32") {
            doc.layerInfoLength = block.length;
            if (!readLayerInfo(in, block.length, doc, error)) return false;
        } else {
            in.skip(block.length);
        }
        in.skip((4 - block.length % 4) % 4);
        doc.tagged.push_back(std::move(block));
    }
    if (!in.ok() || in.at() != layersEnd) return fail(error, "layer and mask length mismatch");

    doc.mergedCompression = std::uint16_t(in.number(2));
    doc.merged = in.bytes(in.left());
    if (!in.ok()) return fail(error, "truncated");
    return true;
}

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace mirel::testing
