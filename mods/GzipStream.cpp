#include "mods/GzipStream.h"

namespace qbk {

namespace {
constexpr std::size_t kInputSize = 1 << 18;
constexpr std::size_t kOutputSize = 1 << 20;
constexpr int kGzipOnly = 15 + 16;
} // namespace

GzipStream::GzipStream(std::FILE* file) : file_(file), in_(kInputSize), out_(kOutputSize) {
    initialised_ = inflateInit2(&zs_, kGzipOnly) == Z_OK;
}

GzipStream::~GzipStream() {
    if (initialised_)
        inflateEnd(&zs_);
    if (file_)
        std::fclose(file_);
}

bool GzipStream::refill() {
    const std::size_t n = std::fread(in_.data(), 1, in_.size(), file_);
    zs_.next_in = in_.data();
    zs_.avail_in = static_cast<uInt>(n);
    return n > 0;
}

long long GzipStream::fail(const std::string& text) {
    if (error_.empty())
        error_ = text;
    return -1;
}

long long GzipStream::read(const void** block) {
    if (!file_ || !initialised_)
        return fail("не удалось открыть архив");
    if (finished_)
        return 0;
    zs_.next_out = out_.data();
    zs_.avail_out = static_cast<uInt>(out_.size());
    while (zs_.avail_out == out_.size()) {
        if (zs_.avail_in == 0 && !refill())
            return fail(std::ferror(file_) ? "ошибка чтения архива" : "архив обрезан");
        const int status = inflate(&zs_, Z_NO_FLUSH);
        if (status == Z_STREAM_END) {
            // The member's checksum matched. Another member may follow.
            if (zs_.avail_in == 0 && !refill()) {
                if (std::ferror(file_))
                    return fail("ошибка чтения архива");
                finished_ = true;
                break;
            }
            inflateReset(&zs_);
        } else if (status != Z_OK) {
            return fail(std::string("повреждены сжатые данные: ") + (zs_.msg ? zs_.msg : "gzip"));
        }
    }
    *block = out_.data();
    return static_cast<long long>(out_.size() - zs_.avail_out);
}

bool GzipStream::drain() {
    const void* block = nullptr;
    long long n = 0;
    while ((n = read(&block)) > 0) {
    }
    return n == 0;
}

} // namespace qbk
