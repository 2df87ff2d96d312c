// Writing and reading settings files of versions 1 to 45, with their thumbnail blocks and
// the upgrade rules that bring older files to the meaning of today's fields.
#include "settings/settings_file.h"

#include <cstring>
#include <limits>
#include <new>

#include "image/pyramid.h"
#include "settings/jpeg_codec.h"

namespace mirel {

namespace {

// Versions at which items were added or their meaning changed.
constexpr int32_t kVersionExtraColor4 = 2;
constexpr int32_t kVersionOutputMode = 3;
constexpr int32_t kVersionExtraInt14 = 4;
constexpr int32_t kVersionBrillianceInt = 5;
constexpr int32_t kVersionOldVectors = 8;
constexpr int32_t kVersionRandomSeed = 12;
constexpr int32_t kVersionExtraInt18 = 14;
constexpr int32_t kVersionSecondConstant = 16;
constexpr int32_t kVersionExtraInt19 = 17;
constexpr int32_t kVersionExtraColor5 = 18;
constexpr int32_t kVersionRawThumbnail = 22;
constexpr int32_t kVersionExtraColor7 = 23;
constexpr int32_t kVersionCenter = 26;
constexpr int32_t kVersionJpegThumbnail = 40;
constexpr int32_t kVersionHorizonFloats = 41;
constexpr int32_t kVersionSpinAndStyle = 42;
constexpr int32_t kVersionLightDirection = 43;
constexpr int32_t kVersionGlitterColor = 44;
constexpr int32_t kVersionSliderFloats = 45;

// Two items that older readers expected to be 1; written so, ignored on reading.
constexpr int32_t kConstantItem = 1;
constexpr int32_t kThumbnailPresent = 1;
constexpr int32_t kNoThumbnail = 0;

constexpr double kHundredths = 0.01;
constexpr double kFixed16 = 65536.0;
constexpr int32_t kRawBytesPerPixel = 3;

// Values the upgrades put in place of fields older files did not know.
constexpr int32_t kUpgradeBrillianceInt = 100;
constexpr int32_t kUpgradeUndulationInt = 50;
constexpr int32_t kUpgradePerspectiveInt = 57;
constexpr int32_t kUpgradeAltitudeInt = 50;
// Before version 24 the ripple height was stored at 0.3 of today's scale.
constexpr double kOldHeightScale = 0.3;

int32_t saturate(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

// "100 - x" on whatever a file holds, without the overflow of 100 - INT32_MIN.
int32_t hundredMinus(int32_t value) {
    return saturate(int64_t{100} - value);
}

int32_t clampBlockSide(int32_t side) {
    if (side < 0) return 0;
    return side > kMaxThumbnailBlockSide ? kMaxThumbnailBlockSide : side;
}

// ---- Writing ------------------------------------------------------------------

class ItemWriter {
  public:
    explicit ItemWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void integer(int32_t value) {
        const auto bits = static_cast<uint32_t>(value);
        out_.push_back(static_cast<std::uint8_t>(bits >> 24));
        out_.push_back(static_cast<std::uint8_t>(bits >> 16));
        out_.push_back(static_cast<std::uint8_t>(bits >> 8));
        out_.push_back(static_cast<std::uint8_t>(bits));
    }
    void channel(uint16_t value) { integer(static_cast<int32_t>(value)); }
    void color(const Rgb16& c) {
        channel(c.red);
        channel(c.green);
        channel(c.blue);
    }
    void real(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        integer(static_cast<int32_t>(bits));
    }
    void times100(float value) { integer(truncateToInt32(static_cast<double>(value) * 100.0)); }
    void times65536(float value) {
        integer(truncateToInt32(static_cast<double>(value) * kFixed16));
    }
    void vector100(const Vec3f& v) {
        times100(v.x);
        times100(v.y);
        times100(v.z);
    }
    void bytes(std::span<const std::uint8_t> data) {
        out_.insert(out_.end(), data.begin(), data.end());
    }

  private:
    std::vector<std::uint8_t>& out_;
};

// Item 72: the thumbnail as a 128 x 128 JPEG at quality 80, or a single 0 when there is
// none or it cannot be made.
void writeThumbnailBlock(ItemWriter& out, const image::TiledImage* thumbnail) {
    if (thumbnail == nullptr || !image::hasTiles(*thumbnail)) {
        out.integer(kNoThumbnail);
        return;
    }
    std::unique_ptr<image::TiledImage> working =
        image::create(kThumbnailSide, kThumbnailSide, image::SampleFormat::Rgba8);
    if (!working || !image::copyImage(*thumbnail, *working)) {
        out.integer(kNoThumbnail);
        return;
    }
    std::vector<std::uint8_t> jpeg;
    const std::size_t count = encodeJpeg(*working, kThumbnailJpegQuality, {}, {}, jpeg);
    if (count == 0 || count > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
        out.integer(kNoThumbnail);
        return;
    }
    out.integer(kThumbnailPresent);
    out.integer(std::max(working->baseWidth, kMinJpegSide));
    out.integer(std::max(working->baseHeight, kMinJpegSide));
    out.integer(static_cast<int32_t>(count));
    out.bytes(jpeg);
}

// ---- Reading ------------------------------------------------------------------

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to `bytes`; fewer only at the end of the data.
    virtual std::size_t read(void* data, std::size_t bytes) = 0;
    // False when the data ends before `bytes` were passed.
    virtual bool skip(std::uint64_t bytes) = 0;
};

class SpanSource final : public ByteSource {
  public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::size_t read(void* data, std::size_t bytes) override {
        const std::size_t count = std::min(bytes, bytes_.size() - at_);
        if (count > 0) std::memcpy(data, bytes_.data() + at_, count);
        at_ += count;
        return count;
    }
    bool skip(std::uint64_t bytes) override {
        if (bytes > bytes_.size() - at_) {
            at_ = bytes_.size();
            return false;
        }
        at_ += static_cast<std::size_t>(bytes);
        return true;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
};

class FileSource final : public ByteSource {
  public:
    explicit FileSource(os::File& file) : file_(file) {}
    std::size_t read(void* data, std::size_t bytes) override { return file_.read(data, bytes); }
    bool skip(std::uint64_t bytes) override {
        const std::int64_t here = file_.position();
        const std::int64_t size = file_.size();
        if (here < 0 || size < here) return false;
        if (bytes > static_cast<std::uint64_t>(size - here)) {
            file_.seek(size);
            return false;
        }
        return file_.seek(here + static_cast<std::int64_t>(bytes));
    }

  private:
    os::File& file_;
};

// Reads items until the data runs out; from then on every read leaves its field alone.
class ItemReader {
  public:
    explicit ItemReader(ByteSource& source) : source_(source) {}

    bool ended() const { return ended_; }
    // Nothing after this point can be trusted (a negative length): read no further.
    void stop() { ended_ = true; }

    bool integer(int32_t& value) {
        if (ended_) return false;
        std::uint8_t b[kSettingsItemBytes];
        if (source_.read(b, sizeof b) != sizeof b) {
            ended_ = true;
            return false;
        }
        value = static_cast<int32_t>(uint32_t{b[0]} << 24 | uint32_t{b[1]} << 16 |
                                     uint32_t{b[2]} << 8 | uint32_t{b[3]});
        return true;
    }
    void item(int32_t& field) {
        int32_t v;
        if (integer(v)) field = v;
    }
    void ignored() {
        int32_t v;
        integer(v);
    }
    // A channel is written zero-extended; only its low 16 bits count.
    void channel(uint16_t& field) {
        int32_t v;
        if (integer(v)) field = static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFFu);
    }
    void color(Rgb16& c) {
        channel(c.red);
        channel(c.green);
        channel(c.blue);
    }
    void real(float& field) {
        int32_t v;
        if (!integer(v)) return;
        const auto bits = static_cast<uint32_t>(v);
        std::memcpy(&field, &bits, sizeof field);
    }
    void times100(float& field) {
        int32_t v;
        if (integer(v)) field = static_cast<float>(v * kHundredths);
    }
    void times65536(float& field) {
        int32_t v;
        if (integer(v)) field = static_cast<float>(v / kFixed16);
    }
    void vector100(Vec3f& v) {
        times100(v.x);
        times100(v.y);
        times100(v.z);
    }
    bool bytes(void* data, std::size_t count) {
        if (ended_) return false;
        if (source_.read(data, count) != count) {
            ended_ = true;
            return false;
        }
        return true;
    }
    void skip(std::uint64_t count) {
        if (!ended_ && !source_.skip(count)) ended_ = true;
    }

  private:
    ByteSource& source_;
    bool ended_ = false;
};

bool canHoldThumbnail(const image::TiledImage* thumbnail) {
    return thumbnail != nullptr && image::hasTiles(*thumbnail);
}

// Puts a freshly read picture into the thumbnail: its pyramid first, as every image
// written at level 0 gets one, then the (resampling) copy.
bool installThumbnail(image::TiledImage& picture, image::TiledImage& thumbnail) {
    image::buildPyramid(picture);
    return image::copyImage(picture, thumbnail);
}

// Item 66: uncompressed pixels, three bytes each, of a picture at most 128 x 128.
bool readRawThumbnailBlock(ItemReader& in, image::TiledImage* thumbnail) {
    int32_t flag = kNoThumbnail;
    if (!in.integer(flag) || flag == kNoThumbnail) return false;
    int32_t width = 0, height = 0;
    if (!in.integer(width) || !in.integer(height)) return false;
    width = clampBlockSide(width);
    height = clampBlockSide(height);
    const std::size_t count = std::size_t(width) * std::size_t(height) * kRawBytesPerPixel;
    if (!canHoldThumbnail(thumbnail) || count == 0) {
        in.skip(count);
        return false;
    }
    std::vector<std::uint8_t> pixels;
    try {
        pixels.resize(count);
    } catch (const std::bad_alloc&) {
        in.skip(count);
        return false;
    }
    if (!in.bytes(pixels.data(), count)) return false;  // a half picture is no thumbnail
    std::unique_ptr<image::TiledImage> picture =
        image::create(width, height, image::SampleFormat::Rgba8);
    if (!picture) return false;
    const std::uint8_t* p = pixels.data();
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x, p += kRawBytesPerPixel)
            image::writeRgba8(*picture, x, y, 0, p[0], p[1], p[2], 255u);
    return installThumbnail(*picture, *thumbnail);
}

// Item 72: flag, width, height, byte count, then a JPEG image of that size.
bool readJpegThumbnailBlock(ItemReader& in, image::TiledImage* thumbnail) {
    int32_t flag = kNoThumbnail;
    if (!in.integer(flag) || flag == kNoThumbnail) return false;
    int32_t width = 0, height = 0, count = 0;
    if (!in.integer(width) || !in.integer(height) || !in.integer(count)) return false;
    width = clampBlockSide(width);
    height = clampBlockSide(height);
    if (count < 0) {
        // The end of the block cannot be found, so neither can any item after it.
        in.stop();
        return false;
    }
    // Larger data than the thumbnail buffer holds is not one of our thumbnails: pass it by
    // and go on with the items after it.
    if (flag > kThumbnailPresent || !canHoldThumbnail(thumbnail) ||
        static_cast<std::size_t>(count) > kJpegThumbnailBufferBytes) {
        in.skip(static_cast<std::uint64_t>(count));
        return false;
    }
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(count));
    if (!in.bytes(buffer.data(), buffer.size())) return false;
    if (width < 1 || height < 1) return false;
    std::unique_ptr<image::TiledImage> picture =
        image::create(width, height, image::SampleFormat::Rgba8);
    if (!picture || !decodeJpeg(buffer, *picture, kMaxThumbnailJpegSide)) return false;
    return installThumbnail(*picture, *thumbnail);
}

// Brings the fields of a file of version v to their present meaning (rules in order).
void applyUpgradeRules(SettingsRecord& r, int32_t v) {
    if (v < 15) r.offsetInt = hundredMinus(r.offsetInt);  // offset once counted from the bottom
    if (v >= 2 && v < 11) r.extraInt13 = saturate(int64_t{r.extraInt13} + 1);
    if (v < 25) r.extraInt16 = 0;
    if (v >= 5 && v <= 12) r.extraInt17 = hundredMinus(r.extraInt17);
    if (v < 7) {
        r.extraColor3 = r.waterColor;
        r.brillianceInt = kUpgradeBrillianceInt;
        r.undulationInt = kUpgradeUndulationInt;
    }
    if (v < 9) r.altitudeInt = 0;
    if (v < 19) r.perspectiveInt = kUpgradePerspectiveInt;
    if (v < 20) r.wavinessInt = 0;
    if (v < 21) r.altitudeInt = kUpgradeAltitudeInt;
    if (v < 24) {
        r.extraInt14 = 0;
        r.heightInt = truncateToInt32(r.heightInt / kOldHeightScale);
    }
}

// Every item a file of version v holds, in order, into `r`.
bool readItems(ItemReader& in, int32_t v, SettingsRecord& r, image::TiledImage* thumbnail) {
    bool thumbnailLoaded = false;
    in.color(r.waterColor);
    in.color(r.extraColor1);
    in.color(r.extraColor2);
    in.item(r.heightInt);
    in.item(r.extraInt1);
    in.item(r.extraInt2);
    in.item(r.extraInt3);
    in.item(r.horizonInt);
    in.item(r.perspectiveInt);
    in.item(r.extraInt4);
    in.item(r.extraInt5);
    in.item(r.extraInt6);
    in.item(r.extraInt7);
    in.item(r.undulationInt);
    in.item(r.extraInt8);
    in.item(r.extraInt9);
    in.item(r.sizeInt);
    in.item(r.offsetInt);
    in.item(r.wavinessInt);
    in.item(r.blurInt);
    in.item(r.complexityInt);
    in.item(r.extraInt10);
    in.item(r.extraInt11);
    in.color(r.extraColor3);
    in.color(r.extraColor3);  // stored twice; the second copy is the one kept
    if (v >= kVersionExtraColor4) {
        in.color(r.extraColor4);
        in.item(r.altitudeInt);
        in.item(r.extraInt12);
        in.item(r.extraInt13);
    }
    if (v >= kVersionOutputMode) {
        in.item(r.outputMode);
        in.ignored();
    }
    if (v >= kVersionExtraInt14) {
        in.item(r.extraInt14);
        in.item(r.extraInt15);
        in.item(r.extraInt16);
    }
    if (v >= kVersionBrillianceInt) {
        in.item(r.brillianceInt);
        in.item(r.extraInt17);
    }
    if (v >= kVersionOldVectors) {
        in.vector100(r.oldVectorA);
        in.vector100(r.oldVectorB);
    }
    if (v >= kVersionRandomSeed) in.item(r.randomSeed);
    if (v >= kVersionExtraInt18) in.item(r.extraInt18);
    if (v >= kVersionSecondConstant) in.ignored();
    if (v >= kVersionExtraInt19) in.item(r.extraInt19);
    if (v >= kVersionExtraColor5) {
        in.color(r.extraColor5);
        in.color(r.extraColor6);
    }
    if (v >= kVersionRawThumbnail) thumbnailLoaded |= readRawThumbnailBlock(in, thumbnail);
    if (v >= kVersionExtraColor7) in.color(r.extraColor7);
    if (v >= kVersionCenter) {
        in.times65536(r.center.x);
        in.times65536(r.center.y);
    }
    if (v >= kVersionJpegThumbnail) thumbnailLoaded |= readJpegThumbnailBlock(in, thumbnail);
    if (v >= kVersionHorizonFloats) {
        in.real(r.horizon);
        in.real(r.offset);
    }
    if (v >= kVersionSpinAndStyle) {
        in.real(r.spin);
        in.item(r.waterStyle);
    }
    if (v >= kVersionLightDirection) in.vector100(r.lightDirection);
    if (v >= kVersionGlitterColor) in.color(r.glitterColor);
    if (v >= kVersionSliderFloats) {
        in.real(r.perspective);
        in.real(r.altitude);
        in.real(r.waviness);
        in.real(r.complexity);
        in.real(r.brilliance);
        in.real(r.blur);
        in.real(r.size);
        in.real(r.height);
        in.real(r.undulation);
    }
    return thumbnailLoaded;
}

SettingsReadResult readFrom(ByteSource& source, SettingsReadMode mode, SettingsRecord& record,
                            image::TiledImage* thumbnail) {
    SettingsReadResult result;
    ItemReader in(source);
    int32_t version = 0;
    // A file without a version we know is not read at all: its layout is unknown, and
    // the upgrades of a guessed version would change fields it never held.
    if (!in.integer(version) || version < kOldestSettingsVersion ||
        version > kCurrentSettingsVersion)
        return result;
    result.versionRead = true;
    result.version = version;

    // Items go into a copy first; missing items keep the values the record had.
    SettingsRecord loaded = record;
    result.thumbnailLoaded = readItems(in, version, loaded, thumbnail);
    result.complete = !in.ended();
    if (mode == SettingsReadMode::Load) {
        applyUpgradeRules(loaded, version);
        loaded.version = version;
        upgradeAfterReading(loaded);
        record = loaded;
    }
    return result;
}

}  // namespace

std::vector<std::uint8_t> encodeSettings(SettingsRecord& record,
                                         const image::TiledImage* thumbnail) {
    syncMirrors(record);
    record.version = kCurrentSettingsVersion;
    const SettingsRecord& r = record;

    std::vector<std::uint8_t> bytes;
    bytes.reserve(kSettingsFileBytesWithoutThumbnail);
    ItemWriter out(bytes);
    out.integer(r.version);
    out.color(r.waterColor);
    out.color(r.extraColor1);
    out.color(r.extraColor2);
    out.integer(r.heightInt);
    out.integer(r.extraInt1);
    out.integer(r.extraInt2);
    out.integer(r.extraInt3);
    out.integer(r.horizonInt);
    out.integer(r.perspectiveInt);
    out.integer(r.extraInt4);
    out.integer(r.extraInt5);
    out.integer(r.extraInt6);
    out.integer(r.extraInt7);
    out.integer(r.undulationInt);
    out.integer(r.extraInt8);
    out.integer(r.extraInt9);
    out.integer(r.sizeInt);
    out.integer(r.offsetInt);
    out.integer(r.wavinessInt);
    out.integer(r.blurInt);
    out.integer(r.complexityInt);
    out.integer(r.extraInt10);
    out.integer(r.extraInt11);
    out.color(r.extraColor3);
    out.color(r.extraColor3);
    out.color(r.extraColor4);
    out.integer(r.altitudeInt);
    out.integer(r.extraInt12);
    out.integer(r.extraInt13);
    out.integer(r.outputMode);
    out.integer(kConstantItem);
    out.integer(r.extraInt14);
    out.integer(r.extraInt15);
    out.integer(r.extraInt16);
    out.integer(r.brillianceInt);
    out.integer(r.extraInt17);
    out.vector100(r.oldVectorA);
    out.vector100(r.oldVectorB);
    out.integer(r.randomSeed);
    out.integer(r.extraInt18);
    out.integer(kConstantItem);
    out.integer(r.extraInt19);
    out.color(r.extraColor5);
    out.color(r.extraColor6);
    out.integer(kNoThumbnail);  // the raw thumbnail block is no longer written
    out.color(r.extraColor7);
    out.times65536(r.center.x);
    out.times65536(r.center.y);
    writeThumbnailBlock(out, thumbnail);
    out.real(r.horizon);
    out.real(r.offset);
    out.real(r.spin);
    out.integer(r.waterStyle);
    out.vector100(r.lightDirection);
    out.color(r.glitterColor);
    out.real(r.perspective);
    out.real(r.altitude);
    out.real(r.waviness);
    out.real(r.complexity);
    out.real(r.brilliance);
    out.real(r.blur);
    out.real(r.size);
    out.real(r.height);
    out.real(r.undulation);
    return bytes;
}

bool writeSettings(os::File& file, SettingsRecord& record, const image::TiledImage* thumbnail) {
    const std::vector<std::uint8_t> bytes = encodeSettings(record, thumbnail);
    // One write of the whole content, then the cut: a shorter file replacing a longer one
    // (a thumbnail that compressed better) must not keep the old tail.
    return file.seek(0) && file.write(bytes.data(), bytes.size()) && file.truncateHere();
}

bool writeSettingsFile(const std::string& path, SettingsRecord& record,
                       const image::TiledImage* thumbnail) {
    // A new file renamed over the old: a write that fails half way (a full disk) keeps
    // the settings that were there, rather than leaving an empty or cut file.
    return os::writeFileAtomic(path, encodeSettings(record, thumbnail));
}

bool saveSettingsFile(const std::string& path, SettingsRecord& record,
                      const image::TiledImage* thumbnail) {
    const std::vector<std::uint8_t> bytes = encodeSettings(record, thumbnail);
    return os::writeFileAtomic(path, bytes);
}

SettingsReadResult readSettings(os::File& file, SettingsReadMode mode, SettingsRecord& record,
                                image::TiledImage* thumbnail) {
    SettingsReadResult result;
    if (file.isOpen()) {
        FileSource source(file);
        result = readFrom(source, mode, record, thumbnail);
    }
    file.close();
    return result;
}

SettingsReadResult readSettingsBytes(std::span<const std::uint8_t> bytes, SettingsReadMode mode,
                                     SettingsRecord& record, image::TiledImage* thumbnail) {
    SpanSource source(bytes);
    return readFrom(source, mode, record, thumbnail);
}

SettingsReadResult readSettingsFile(const std::string& path, SettingsReadMode mode,
                                    SettingsRecord& record, image::TiledImage* thumbnail) {
    os::File file;
    if (!file.open(path, os::OpenMode::ExistingOnly)) return {};
    return readSettings(file, mode, record, thumbnail);
}

SettingsReadResult loadSettingsFile(const std::string& path, SettingsRecord& record,
                                    image::TiledImage* thumbnail) {
    applyDefaults(record);
    return readSettingsFile(path, SettingsReadMode::Load, record, thumbnail);
}

std::unique_ptr<image::TiledImage> readThumbnailForDisplay(const std::string& path,
                                                           image::TiledImage& thumbnail) {
    SettingsRecord scratch;
    std::memset(&scratch, 0, sizeof scratch);
    if (!readSettingsFile(path, SettingsReadMode::ThumbnailOnly, scratch, &thumbnail)
             .thumbnailLoaded)
        return nullptr;
    std::unique_ptr<image::TiledImage> shown =
        image::create(kDisplayThumbnailSide, kDisplayThumbnailSide, image::SampleFormat::Rgba8);
    if (!shown || !image::copyImage(thumbnail, *shown)) return nullptr;
    return shown;
}

std::string suggestedSettingsFileName(const SettingsRecord& record) {
    const std::string_view name = settingsNameView(record);
    const std::size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

}  // namespace mirel
