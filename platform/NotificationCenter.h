#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// Named notifications delivered synchronously to every observer of the name,
// in the order they registered. The host posts its stop notification here.
class NotificationCenter {
public:
    using Observer = std::function<void()>;
    using Token = unsigned long;

    // The token removes the observer again; an observer that goes away must
    // remove itself, or a later post would call into a dead object.
    Token addObserver(std::string name, Observer observer) {
        observers_.push_back({++lastToken_, std::move(name), std::move(observer)});
        return lastToken_;
    }

    void removeObserver(Token token) {
        std::erase_if(observers_, [token](const Entry& e) { return e.token == token; });
    }

    // Observers are called on a snapshot, so one may remove itself while called.
    void post(const std::string& name) const {
        const std::vector<Entry> snapshot = observers_;
        for (const auto& entry : snapshot)
            if (entry.name == name) entry.observer();
    }

private:
    struct Entry {
        Token token;
        std::string name;
        Observer observer;
    };
    std::vector<Entry> observers_;
    Token lastToken_ = 0;
};

// The name the host posts when the screen saver is to stop.
inline const char* const willStopNotification = "com.apple.screensaver.willstop";

}  // namespace platform
