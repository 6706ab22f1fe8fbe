// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/whisper/WhisperModelFile.h"

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <random>

namespace orvane {

namespace {

constexpr std::uint32_t kMagic = 0x67676d6c;  // "ggml"
// The vocabulary a conversion script writes; whisper.cpp adds the special tokens after it.
constexpr std::int32_t kWrittenTokens = 50256;
constexpr std::int32_t kMelFftBins = 201;

enum class Storage { f32, matrix, convolution };

struct TensorShape {
    std::string name;
    std::array<std::int64_t, 3> extent;  // ggml order: the fastest-moving index first
    Storage storage;
};

std::vector<TensorShape> tensorsOf(const WhisperDimensions& d) {
    std::vector<TensorShape> t;
    const std::int64_t a = d.audioState;
    const std::int64_t x = d.textState;
    t.push_back({"encoder.positional_embedding", {a, d.audioContext, 1}, Storage::f32});
    t.push_back({"encoder.conv1.weight", {3, d.mels, a}, Storage::convolution});
    t.push_back({"encoder.conv1.bias", {1, a, 1}, Storage::f32});
    t.push_back({"encoder.conv2.weight", {3, a, a}, Storage::convolution});
    t.push_back({"encoder.conv2.bias", {1, a, 1}, Storage::f32});
    t.push_back({"encoder.ln_post.weight", {a, 1, 1}, Storage::f32});
    t.push_back({"encoder.ln_post.bias", {a, 1, 1}, Storage::f32});
    const auto block = [&t](const std::string& prefix, std::int64_t s, bool cross) {
        const auto attention = [&](const std::string& name) {
            t.push_back({prefix + name + "_ln.weight", {s, 1, 1}, Storage::f32});
            t.push_back({prefix + name + "_ln.bias", {s, 1, 1}, Storage::f32});
            t.push_back({prefix + name + ".query.weight", {s, s, 1}, Storage::matrix});
            t.push_back({prefix + name + ".query.bias", {s, 1, 1}, Storage::f32});
            t.push_back({prefix + name + ".key.weight", {s, s, 1}, Storage::matrix});
            t.push_back({prefix + name + ".value.weight", {s, s, 1}, Storage::matrix});
            t.push_back({prefix + name + ".value.bias", {s, 1, 1}, Storage::f32});
            t.push_back({prefix + name + ".out.weight", {s, s, 1}, Storage::matrix});
            t.push_back({prefix + name + ".out.bias", {s, 1, 1}, Storage::f32});
        };
        t.push_back({prefix + "mlp_ln.weight", {s, 1, 1}, Storage::f32});
        t.push_back({prefix + "mlp_ln.bias", {s, 1, 1}, Storage::f32});
        t.push_back({prefix + "mlp.0.weight", {s, 4 * s, 1}, Storage::matrix});
        t.push_back({prefix + "mlp.0.bias", {4 * s, 1, 1}, Storage::f32});
        t.push_back({prefix + "mlp.2.weight", {4 * s, s, 1}, Storage::matrix});
        t.push_back({prefix + "mlp.2.bias", {s, 1, 1}, Storage::f32});
        attention("attn");
        if (cross) attention("cross_attn");
    };
    for (int i = 0; i < d.audioLayers; ++i) {
        block("encoder.blocks." + std::to_string(i) + ".", a, false);
    }
    t.push_back({"decoder.positional_embedding", {x, d.textContext, 1}, Storage::f32});
    t.push_back({"decoder.token_embedding.weight", {x, d.vocabulary, 1}, Storage::matrix});
    t.push_back({"decoder.ln.weight", {x, 1, 1}, Storage::f32});
    t.push_back({"decoder.ln.bias", {x, 1, 1}, Storage::f32});
    for (int i = 0; i < d.textLayers; ++i) {
        block("decoder.blocks." + std::to_string(i) + ".", x, true);
    }
    return t;
}

// The number formats (ggml types) whisper.cpp reads, as elements per block and bytes per block.
std::optional<std::pair<std::int64_t, std::int64_t>> blockOf(std::int32_t type) {
    static const std::map<std::int32_t, std::pair<std::int64_t, std::int64_t>> formats = {
        {0, {1, 4}},   {1, {1, 2}},   {2, {32, 18}}, {3, {32, 20}},
        {6, {32, 22}}, {7, {32, 24}}, {8, {32, 34}}};
    const auto it = formats.find(type);
    if (it == formats.end()) return std::nullopt;
    return it->second;
}

// The file types of the published models and of whisper.cpp's own quantiser (f32, f16, q4_0,
// q4_1, q8_0, q5_0, q5_1), each with the ggml type of its large matrices. Others either abort
// whisper.cpp outright or need rows that Whisper's shapes do not have.
std::optional<std::int32_t> matrixTypeOf(std::int32_t fileType) {
    static const std::map<std::int32_t, std::int32_t> types = {{0, 0}, {1, 1}, {2, 2}, {3, 3},
                                                               {7, 8}, {8, 6}, {9, 7}};
    const auto it = types.find(fileType);
    if (it == types.end()) return std::nullopt;
    return it->second;
}

// The ggml type whisper.cpp reads a tensor in: small ones always as f32, the convolutions as f16
// unless the whole model is f32, the matrices in the file type's own format.
std::int32_t expectedTypeOf(Storage storage, std::int32_t fileType) {
    switch (storage) {
        case Storage::f32:
            return 0;
        case Storage::convolution:
            return fileType == 0 ? 0 : 1;
        case Storage::matrix:
            return *matrixTypeOf(fileType);
    }
    return 0;
}

class Reader {
public:
    explicit Reader(std::istream& in) : m_in(in) {
        m_in.seekg(0, std::ios::end);
        m_size = static_cast<std::int64_t>(m_in.tellg());
        m_in.seekg(0);
    }
    std::int64_t left() { return m_size - static_cast<std::int64_t>(m_in.tellg()); }
    bool atEnd() { return left() <= 0; }
    template <typename T>
    bool read(T& value) {
        return static_cast<bool>(m_in.read(reinterpret_cast<char*>(&value), sizeof value));
    }
    bool read(std::string& text, std::int64_t length) {
        if (length > left()) return false;
        text.resize(static_cast<std::size_t>(length));
        return static_cast<bool>(m_in.read(text.data(), length));
    }
    bool skip(std::int64_t bytes) {
        if (bytes < 0 || bytes > left()) return false;
        m_in.seekg(bytes, std::ios::cur);
        return static_cast<bool>(m_in);
    }

private:
    std::istream& m_in;
    std::int64_t m_size = 0;
};

WhisperModelCheck problem(std::string text) {
    return {std::nullopt, std::move(text)};
}

// Only shapes whisper.cpp runs safely: the context sizes every released model has (smaller ones
// overflow its buffers), widths, heads and layers no larger than the largest released model's
// (1280, 20, 32: more layers abort its loader), and a file type its kernels compute with. A
// model of 32-bit floats loads, then fails an assertion in the first transcription.
bool sane(const WhisperDimensions& d) {
    const auto within = [](std::int32_t v, std::int32_t lo, std::int32_t hi) {
        return v >= lo && v <= hi;
    };
    return within(d.vocabulary, 51864, 51866) && d.audioContext == 1500 &&
           within(d.audioState, 1, 1280) && within(d.audioHeads, 1, 20) &&
           within(d.audioLayers, 1, 32) && d.textContext == 448 && d.textState == d.audioState &&
           within(d.textHeads, 1, 20) && within(d.textLayers, 1, 32) &&
           (d.mels == 80 || d.mels == 128) && d.audioState % d.audioHeads == 0 &&
           d.textState % d.textHeads == 0 && d.fileType != 0 &&
           matrixTypeOf(d.fileType).has_value();
}

std::uint16_t toHalf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const std::uint32_t sign = (bits >> 16) & 0x8000u;
    int exponent = static_cast<int>((bits >> 23) & 0xff) - 127 + 15;
    std::uint32_t mantissa = (bits & 0x7fffffu) + 0x1000u;  // rounded to the nearest half
    if (mantissa & 0x800000u) {
        mantissa = 0;
        ++exponent;
    }
    if (exponent <= 0) return static_cast<std::uint16_t>(sign);  // too small: zero
    if (exponent >= 31) return static_cast<std::uint16_t>(sign | 0x7bffu);
    return static_cast<std::uint16_t>(sign | (static_cast<std::uint32_t>(exponent) << 10) |
                                      (mantissa >> 13));
}

}  // namespace

WhisperDimensions WhisperDimensions::tinyEnglish() {
    return {};
}

WhisperDimensions WhisperDimensions::baseEnglish() {
    WhisperDimensions d;
    d.audioState = d.textState = 512;
    d.audioHeads = d.textHeads = 8;
    d.audioLayers = d.textLayers = 6;
    return d;
}

WhisperDimensions WhisperDimensions::smallEnglish() {
    WhisperDimensions d;
    d.audioState = d.textState = 768;
    d.audioHeads = d.textHeads = 12;
    d.audioLayers = d.textLayers = 12;
    return d;
}

WhisperDimensions WhisperDimensions::testSized() {
    WhisperDimensions d;
    d.audioState = d.textState = 64;
    d.audioHeads = d.textHeads = 2;
    d.audioLayers = d.textLayers = 1;
    return d;
}

std::string WhisperDimensions::sizeName() const {
    static const std::map<std::int32_t, std::string> byLayers = {
        {4, "tiny"}, {6, "base"}, {12, "small"}, {24, "medium"}, {32, "large"}};
    const auto it = byLayers.find(audioLayers);
    if (it == byLayers.end()) return "unknown size";
    return it->second + (vocabulary == 51864 ? ".en" : "");
}

WhisperModelCheck checkWhisperModel(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return problem("Cannot read " + path + ".");
    return checkWhisperModel(file, path);
}

WhisperModelCheck checkWhisperModel(std::istream& file, const std::string& path) {
    Reader in(file);
    std::uint32_t magic = 0;
    if (!in.read(magic) || magic != kMagic) {
        return problem(path +
                       " is not a Whisper model: it is not in the ggml format whisper.cpp "
                       "reads.");
    }
    WhisperDimensions d;
    for (auto* field :
         {&d.vocabulary, &d.audioContext, &d.audioState, &d.audioHeads, &d.audioLayers,
          &d.textContext, &d.textState, &d.textHeads, &d.textLayers, &d.mels, &d.fileType}) {
        if (!in.read(*field)) return problem(path + " is cut short inside its header.");
    }
    if (!sane(d)) return problem(path + " has a header no Whisper model has.");
    const auto cutShort = [&path](const std::string& where) {
        return problem(path + " is cut short " + where + ": it may not have finished downloading.");
    };
    std::int32_t mels = 0;
    std::int32_t bins = 0;
    if (!in.read(mels) || !in.read(bins)) return cutShort("in its mel filters");
    if (mels != d.mels || bins <= 0 || bins > 4096 || !in.skip(std::int64_t{mels} * bins * 4)) {
        return cutShort("in its mel filters");
    }
    std::int32_t tokens = 0;
    if (!in.read(tokens) || tokens <= 0 || tokens > d.vocabulary) {
        return problem(path + " has no usable vocabulary.");
    }
    for (std::int32_t i = 0; i < tokens; ++i) {
        std::uint32_t length = 0;
        if (!in.read(length) || length > 1024 || !in.skip(length)) {
            return cutShort("in its vocabulary");
        }
    }
    std::map<std::string, TensorShape> expected;
    for (auto& tensor : tensorsOf(d)) expected.emplace(tensor.name, std::move(tensor));
    std::size_t found = 0;
    while (!in.atEnd()) {
        std::int32_t dimensions = 0;
        std::int32_t nameLength = 0;
        std::int32_t type = 0;
        if (!in.read(dimensions) || !in.read(nameLength) || !in.read(type)) {
            return cutShort("after " + std::to_string(found) + " tensors");
        }
        if (dimensions < 1 || dimensions > 3 || nameLength < 1 || nameLength > 256) {
            return problem(path + " is damaged after " + std::to_string(found) + " tensors.");
        }
        std::array<std::int64_t, 3> extent = {1, 1, 1};
        for (int i = 0; i < dimensions; ++i) {
            std::int32_t n = 0;
            if (!in.read(n) || n <= 0) return cutShort("in a tensor's shape");
            extent[static_cast<std::size_t>(i)] = n;
        }
        std::string name;
        if (!in.read(name, nameLength)) return cutShort("in a tensor's name");
        const auto it = expected.find(name);
        if (it == expected.end()) {
            return problem(path + " holds a tensor no Whisper model has (" + name + ").");
        }
        if (it->second.extent != extent) {
            return problem(path + " has the tensor " + name + " in the wrong shape.");
        }
        const auto format = blockOf(type);
        if (!format || type != expectedTypeOf(it->second.storage, d.fileType)) {
            return problem(path + " stores " + name +
                           " in a number format whisper.cpp does not read there.");
        }
        const auto elements = extent[0] * extent[1] * extent[2];
        if (extent[0] % format->first != 0) {
            return problem(path + " has the tensor " + name + " in the wrong shape.");
        }
        if (!in.skip(elements / format->first * format->second)) {
            return cutShort("inside the tensor " + name);
        }
        expected.erase(it);
        ++found;
    }
    if (!expected.empty()) {
        return problem(path + " lacks " + std::to_string(expected.size()) +
                       " of the model's tensors (" + expected.begin()->first +
                       " first): it may not have finished downloading.");
    }
    return {d, ""};
}

bool writeRandomWhisperModel(const std::string& path, const WhisperDimensions& d,
                             std::uint32_t seed) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const auto put = [&out](auto value) {
        out.write(reinterpret_cast<const char*>(&value), sizeof value);
    };
    put(kMagic);
    for (auto field : {d.vocabulary, d.audioContext, d.audioState, d.audioHeads, d.audioLayers,
                       d.textContext, d.textState, d.textHeads, d.textLayers, d.mels, d.fileType}) {
        put(field);
    }
    // Triangular filters spread over the spectrum, so each mel band sees some of the sound.
    put(d.mels);
    put(kMelFftBins);
    for (int m = 0; m < d.mels; ++m) {
        const double centre = 1.0 + m * (kMelFftBins - 2.0) / d.mels;
        for (int bin = 0; bin < kMelFftBins; ++bin) {
            put(static_cast<float>(std::max(0.0, 1.0 - std::abs(bin - centre) / 2.0)));
        }
    }
    // Single bytes first, so that any text tokenises, then distinct filler tokens.
    put(kWrittenTokens);
    for (std::int32_t i = 0; i < kWrittenTokens; ++i) {
        const std::string token =
            i < 256 ? std::string(1, static_cast<char>(i)) : " w" + std::to_string(i);
        put(static_cast<std::uint32_t>(token.size()));
        out.write(token.data(), static_cast<std::streamsize>(token.size()));
    }
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> weight(-0.05f, 0.05f);
    for (const auto& tensor : tensorsOf(d)) {
        int dimensions = tensor.extent[2] > 1 ? 3 : tensor.extent[1] > 1 ? 2 : 1;
        if (tensor.name == "encoder.conv1.bias" || tensor.name == "encoder.conv2.bias") {
            dimensions = 2;
        }
        const bool half = d.fileType == 1 && tensor.storage != Storage::f32;
        put(static_cast<std::int32_t>(dimensions));
        put(static_cast<std::int32_t>(tensor.name.size()));
        put(static_cast<std::int32_t>(half ? 1 : 0));
        for (int i = 0; i < dimensions; ++i) {
            put(static_cast<std::int32_t>(tensor.extent[static_cast<std::size_t>(i)]));
        }
        out.write(tensor.name.data(), static_cast<std::streamsize>(tensor.name.size()));
        const auto elements = tensor.extent[0] * tensor.extent[1] * tensor.extent[2];
        // Layer norms scale by one, as a trained model's roughly do; the rest is noise.
        const bool unitScale = tensor.name.find("ln.weight") != std::string::npos ||
                               tensor.name.find("ln_post.weight") != std::string::npos;
        if (half) {
            std::vector<std::uint16_t> values(static_cast<std::size_t>(elements));
            for (auto& v : values) v = toHalf(weight(random));
            out.write(reinterpret_cast<const char*>(values.data()),
                      static_cast<std::streamsize>(values.size() * 2));
        } else {
            std::vector<float> values(static_cast<std::size_t>(elements));
            for (auto& v : values) v = unitScale ? 1.0f : weight(random);
            out.write(reinterpret_cast<const char*>(values.data()),
                      static_cast<std::streamsize>(values.size() * 4));
        }
    }
    return static_cast<bool>(out.flush());
}

}  // namespace orvane
