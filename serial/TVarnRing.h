#pragma once
// The two rings of a device layer: the input ring, which the dispatcher worker fills
// from the device and the caller takes blocks from, and the output ring, which the
// caller queues blocks into and the writer sends from. Each keeps its indices, its full
// flag, its count and the wrap round the end here; the locks are the device layer's.
#include <memory>
#include <span>

class TVarnRing {
public:
    void Allocate(int size);  // zero-filled, both indices 0, flag clear
    void Free();
    bool Allocated() const { return data_ != nullptr; }
    bool Full() const { return full_; }
    // Characters in the ring: all or none when the indices are equal, as the full flag
    // says; else the way from the read index to the write index round the ring.
    int Count() const;
    int Room() const { return size_ - Count(); }
    void Empty();  // both indices 0, flag clear

protected:
    std::unique_ptr<char[]> data_;
    int size_ = 0;
    int read_ = 0;
    int write_ = 0;
    bool full_ = false;
};

class TVarnInputRing : public TVarnRing {
public:
    static constexpr int kSize = 8192;  // whatever the device's receive queue is

    void Allocate() { TVarnRing::Allocate(kSize); }
    // Where the device's characters go next, and how many fit there in one piece.
    char* WritePlace() { return data_.get() + write_; }
    int ContiguousRoom() const;
    // Counts n characters that the device put at the write place.
    void Filled(int n);
    // Copies n characters out, oldest first; false, taking nothing, when fewer wait.
    bool Take(char* buffer, int n);
    void Discard();  // everything waiting; the write index stays
};

class TVarnOutputRing : public TVarnRing {
public:
    // Copies n characters in behind the last; false, queueing nothing, when fewer than
    // n places are free.
    bool Put(const char* data, int n);
    // The next piece for the writer, in one stretch; empty when nothing waits. Contents
    // that wrap round the end are turned first, so that they go out in one piece.
    std::span<const char> NextChunk();
    // Counts n characters of the chunk as sent.
    void Sent(int n);
};
