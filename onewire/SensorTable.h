#pragma once
// Owners of sensor objects. A SensorTable owns the objects of one kind, up to its room, in the order
// they were filed; a SensorSlot owns the one object of a kind the station has at most one of. A
// SensorView lists objects that tables and slots own (every thermometer, say, whatever its kind) in the
// order they were filed into it. Only an owner files into a view, and an owner that frees objects takes
// them out of every view it filed them into first, so that a view never holds an object that is gone.
#include <memory>
#include <vector>

class SensorOwner;

class SensorViewBase {
public:
    virtual ~SensorViewBase() = default;

protected:
    SensorViewBase() = default;
    SensorViewBase(const SensorViewBase&) = delete;
    SensorViewBase& operator=(const SensorViewBase&) = delete;

private:
    friend class SensorOwner;
    // Takes out the entry that points at `item` (as the view holds it).
    virtual void Forget(const void* item) = 0;
};

template <class T> class SensorView final : public SensorViewBase {
public:
    explicit SensorView(int room) : room_(room) {}

    int Count() const { return static_cast<int>(items_.size()); }
    int Room() const { return room_; }
    bool Full() const { return Count() >= room_; }
    // The object at the index; null outside the view.
    T* operator[](int index) const { return index >= 0 && index < Count() ? items_[index] : nullptr; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    friend class SensorOwner;
    void Forget(const void* item) override {
        std::erase_if(items_, [item](const T* held) { return static_cast<const void*>(held) == item; });
    }
    void File(T* item) { items_.push_back(item); }

    std::vector<T*> items_;
    int room_;
};

// What owners share: where they filed their objects into views, to take them out before they go.
class SensorOwner {
protected:
    SensorOwner() = default;
    ~SensorOwner() = default;
    SensorOwner(const SensorOwner&) = delete;
    SensorOwner& operator=(const SensorOwner&) = delete;

    template <class T, class Item> void FileInto(SensorView<T>& view, Item* item) {
        T* held = item;
        view.File(held);
        filed_.push_back({&view, static_cast<const void*>(held)});
    }
    void ForgetFiled() {
        for (const Filed& entry : filed_)
            entry.view->Forget(entry.item);
        filed_.clear();
    }

private:
    struct Filed {
        SensorViewBase* view;
        const void* item;
    };
    std::vector<Filed> filed_;
};

template <class T> class SensorTable final : public SensorOwner {
public:
    explicit SensorTable(int room) : room_(room) {}
    ~SensorTable() { Clear(); }

    int Count() const { return static_cast<int>(items_.size()); }
    int Room() const { return room_; }
    bool Full() const { return Count() >= room_; }
    T* operator[](int index) const { return index >= 0 && index < Count() ? items_[index].get() : nullptr; }

    // Files the object and lists it in the views given. A full table refuses it (null); the scan asks
    // for room first.
    template <class... Views> T* Add(std::unique_ptr<T> item, Views&... views) {
        if (!item || Full()) return nullptr;
        T* added = item.get();
        items_.push_back(std::move(item));
        (FileInto(views, added), ...);
        return added;
    }
    // Frees every object, after taking them out of the views that list them.
    void Clear() {
        ForgetFiled();
        items_.clear();
    }

    class Iterator {
    public:
        explicit Iterator(typename std::vector<std::unique_ptr<T>>::const_iterator at) : at_(at) {}
        T* operator*() const { return at_->get(); }
        Iterator& operator++() {
            ++at_;
            return *this;
        }
        bool operator==(const Iterator&) const = default;

    private:
        typename std::vector<std::unique_ptr<T>>::const_iterator at_;
    };
    Iterator begin() const { return Iterator(items_.begin()); }
    Iterator end() const { return Iterator(items_.end()); }

private:
    std::vector<std::unique_ptr<T>> items_;
    int room_;
};

template <class T> class SensorSlot final : public SensorOwner {
public:
    SensorSlot() = default;
    ~SensorSlot() { Reset(); }

    T* get() const { return item_.get(); }
    T* operator->() const { return item_.get(); }
    T& operator*() const { return *item_; }
    explicit operator bool() const { return item_ != nullptr; }

    // Takes the object (freeing one it held) and lists it in the views given.
    template <class... Views> T& Set(std::unique_ptr<T> item, Views&... views) {
        Reset();
        item_ = std::move(item);
        (FileInto(views, item_.get()), ...);
        return *item_;
    }
    void Reset() {
        ForgetFiled();
        item_.reset();
    }

private:
    std::unique_ptr<T> item_;
};
