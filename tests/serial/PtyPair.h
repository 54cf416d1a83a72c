// A pseudo-terminal pair: the test plays the far end of the line on the master side while
// the code under test opens the slave by its path.
#pragma once

#include <chrono>
#include <string>

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Master() const { return master_; }
    // Writes every byte to the line from the far end.
    void Send(const std::string& bytes);
    // Reads from the far end until `count` bytes came or the time is up.
    std::string Receive(std::size_t count,
                        std::chrono::milliseconds limit = std::chrono::milliseconds(2000));
    // Closes the far end, as when the other side of the line goes away.
    void CloseMaster();

private:
    int master_ = -1;
    std::string slavePath_;
};
