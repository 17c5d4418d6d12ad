#include "frontends/wayland/ShmBuffers.h"

#include "platform/SoftwareGraphicsContext.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <new>

namespace platform {

namespace {

// An anonymous file of this size, sealed against shrinking so the compositor
// never reads past its end; -1 on failure.
int sharedFile(size_t bytes) {
    const int fd = memfd_create("quillmoor-frame", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    if (fd < 0) return -1;
    if (ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_SEAL);
    return fd;
}

}  // namespace

const wl_buffer_listener ShmBuffer::listener_ = {&ShmBuffer::released};

ShmBuffer::ShmBuffer(wl_shm* shm, int width, int height, std::function<void()> onRelease)
    : width_(width), height_(height), bytes_(static_cast<size_t>(width) * static_cast<size_t>(height) * 4),
      onRelease_(std::move(onRelease)) {
    // wl_shm pools are sized in a signed 32-bit count of bytes.
    if (width < 1 || height < 1 || bytes_ > static_cast<size_t>(INT32_MAX)) throw std::bad_alloc();
    const int fd = sharedFile(bytes_);
    if (fd < 0) throw std::bad_alloc();
    void* memory = mmap(nullptr, bytes_, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (memory == MAP_FAILED) {
        close(fd);
        throw std::bad_alloc();
    }
    px_ = static_cast<uint32_t*>(memory);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(bytes_));
    buffer_ = wl_shm_pool_create_buffer(pool, 0, width, height, width * 4, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);  // the buffer keeps the memory mapped on the compositor's side
    close(fd);
    wl_buffer_add_listener(buffer_, &listener_, this);
}

ShmBuffer::~ShmBuffer() {
    if (buffer_) wl_buffer_destroy(buffer_);
    munmap(px_, bytes_);
}

void ShmBuffer::released(void* data, wl_buffer*) {
    auto* self = static_cast<ShmBuffer*>(data);
    self->busy_ = false;
    if (self->onRelease_) self->onRelease_();
}

ShmBuffer* ShmBufferPool::acquire(int width, int height) {
    const auto otherSize = [&](const auto& b) { return b->width() != width || b->height() != height; };
    std::erase_if(buffers_, [&](const auto& b) {
        if (b->busy() || !otherSize(b)) return false;
        if (b.get() == latest_) latest_ = nullptr;
        return true;
    });
    size_t ofThisSize = 0;
    for (auto& b : buffers_) {
        if (otherSize(b)) continue;
        if (!b->busy()) return b.get();
        ++ofThisSize;
    }
    if (ofThisSize >= maxBuffers) return nullptr;
    buffers_.push_back(std::make_unique<ShmBuffer>(shm_, width, height, onRelease_));
    // The compositor maps the new memory before we fill it, so its pages are
    // freed when the compositor lets go, not by our exit (a stop must not
    // wait for that). A connection that fails here is found by the next flush.
    if (display_) wl_display_flush(display_);
    return buffers_.back().get();
}

const std::vector<PixelRect>* ShmBufferPool::missedBy(const ShmBuffer& buffer) const {
    if (!buffer.holdsFrame_ || !latest_ || latest_->width() != buffer.width() || latest_->height() != buffer.height()) return nullptr;
    return &buffer.missed_;
}

void ShmBufferPool::frameDrawn(ShmBuffer& buffer, std::span<const PixelRect> changes) {
    for (auto& b : buffers_) {
        if (b.get() == &buffer || !b->holdsFrame_) continue;
        b->missed_.insert(b->missed_.end(), changes.begin(), changes.end());
        if (b->missed_.size() <= missedRects) continue;
        const Region merged = Region::covering(b->missed_, SoftwareGraphicsContext::damageRects);
        b->missed_.assign(merged.begin(), merged.end());
    }
    buffer.missed_.clear();
    buffer.holdsFrame_ = true;
    latest_ = &buffer;
}

void ShmBufferPool::forgetFrames() {
    for (auto& b : buffers_) {
        b->holdsFrame_ = false;
        b->missed_.clear();
    }
    latest_ = nullptr;
}

}  // namespace platform
