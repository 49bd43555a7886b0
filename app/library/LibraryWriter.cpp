#include "library/LibraryWriter.h"

#include "library/StoreErrorTexts.h"
#include "text/FileLock.h"
#include "text/UnicodeConversion.h"
#include "text/UserErrorDescriptionType.h"

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace quillet {

struct LibraryWriter::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<Version> next;
    std::function<void(Written)> done;
    std::optional<Written> result;
    /// From start() until the result is delivered or taken.
    bool writing = false;
    bool stopping = false;
};

LibraryWriter::LibraryWriter(std::filesystem::path path, Post post)
    : m_path(std::move(path))
    , m_texts(detail::JSONStoreTexts::localizedTexts())
    , m_post(std::move(post))
    , m_shared(std::make_shared<Shared>())
{
    m_thread = std::thread([this] { run(); });
}

LibraryWriter::~LibraryWriter()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->changed.notify_all();
    m_thread.join();
}

void LibraryWriter::start(Version version, std::function<void(Written)> done)
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->next = std::move(version);
        m_shared->done = std::move(done);
        m_shared->result.reset();
        m_shared->writing = true;
    }
    m_shared->changed.notify_all();
}

bool LibraryWriter::isWriting() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->writing;
}

std::optional<LibraryWriter::Written> LibraryWriter::finish()
{
    std::unique_lock lock(m_shared->mutex);
    if (!m_shared->writing)
        return std::nullopt;
    m_shared->changed.wait(lock, [this] { return m_shared->result.has_value(); });
    auto result = std::move(m_shared->result);
    m_shared->result.reset();
    m_shared->done = nullptr;
    m_shared->writing = false;
    return result;
}

void LibraryWriter::run()
{
    std::unique_lock lock(m_shared->mutex);
    for (;;) {
        m_shared->changed.wait(lock, [this] { return m_shared->stopping || m_shared->next.has_value(); });
        if (!m_shared->next)
            return; // stopping, nothing left to write
        Version version = std::move(*m_shared->next);
        m_shared->next.reset();
        lock.unlock();
        Written written = write(m_path, std::move(version), m_texts);
        lock.lock();
        m_shared->result = std::move(written);
        m_shared->changed.notify_all();
        lock.unlock();
        // Delivered on the owner's thread, unless finish() took it meanwhile or the writer is
        // gone by then.
        m_post([weak = std::weak_ptr<Shared>(m_shared)] {
            const auto shared = weak.lock();
            if (!shared)
                return;
            std::function<void(Written)> done;
            std::optional<Written> result;
            {
                std::lock_guard deliveryLock(shared->mutex);
                if (!shared->result)
                    return;
                result = std::move(shared->result);
                shared->result.reset();
                done = std::move(shared->done);
                shared->done = nullptr;
                shared->writing = false;
            }
            if (done)
                done(std::move(*result));
        });
        lock.lock();
    }
}

LibraryWriter::Written LibraryWriter::write(
    const std::filesystem::path& path, Version version, const detail::JSONStoreTexts& texts)
{
    // The encoding and the lock's wait are part of the write: a process waiting for them is
    // not stuck.
    const FileWriteUnderWay underWay;
    Written written;
    written.library = std::move(version.library);
    try {
        // Another instance saving at the same moment waits here, and then reads what we wrote.
        const FileLock lock(path, version.lockWait);
        switch (lock.state()) {
        case FileLock::State::busy:
            written.outcome = Written::Outcome::busy;
            return written;
        case FileLock::State::unavailable:
            // No folder for the library: no write could succeed either.
            if (lock.error() == ENOENT || lock.error() == ENOTDIR) {
                written.failure = fromUtf8(path.string());
                return written;
            }
            written.outcome = Written::Outcome::unavailable;
            written.lockError = lock.error();
            return written;
        case FileLock::State::held:
            break;
        }
        const auto now = FileIdentity::of(path);
        if (now && now != version.replaces) {
            written.outcome = Written::Outcome::replacedElsewhere;
            return written;
        }
        // Where nothing is now, only where nothing is at the rename either.
        written.identity
            = detail::replaceJSONDictionary(path, written.library, now ? version.replaces : std::nullopt, texts);
        written.outcome = written.identity ? Written::Outcome::written : Written::Outcome::replacedElsewhere;
    } catch (const UserErrorDescriptionType& error) {
        written.failure = error.userErrorDescription();
    } catch (const std::exception& error) {
        written.failure = localizedDescription(error);
    }
    return written;
}

} // namespace quillet
