#pragma once
// A table of rows, one per kind of sensor, that one layer keeps about the kinds: the sensor set's own
// (SensorKinds.h) and those of the layers above, keyed by the same kind name. Each walk over the
// kinds takes the rows in its own order field (rows with equal orders keep the order they were added
// in), so that a kind takes its place in every walk from its row alone. A kind added at run time (a
// test's) stays for as long as its registration lives.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

template <class Row> class KindRegistry {
public:
    explicit KindRegistry(std::vector<Row> rows) : rows_(std::move(rows)) {}
    KindRegistry(const KindRegistry&) = delete;
    KindRegistry& operator=(const KindRegistry&) = delete;

    const std::vector<Row>& Rows() const { return rows_; }
    // The rows in the order of the field (valid until a row is added or removed).
    std::vector<const Row*> By(int Row::*order) const {
        std::vector<const Row*> sorted;
        for (const Row& row : rows_)
            sorted.push_back(&row);
        std::stable_sort(sorted.begin(), sorted.end(),
                         [order](const Row* a, const Row* b) { return a->*order < b->*order; });
        return sorted;
    }
    // The row of the kind, or null.
    const Row* Find(const std::string& kind) const {
        for (const Row& row : rows_)
            if (row.kind == kind) return &row;
        return nullptr;
    }

    // Adds the row of a new kind, last in every order it ties on, for as long as the registration lives.
    class Registration {
    public:
        Registration(KindRegistry& registry, Row row) : registry_(registry), kind_(row.kind) {
            registry_.rows_.push_back(std::move(row));
        }
        ~Registration() { registry_.Remove(kind_); }
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

    private:
        KindRegistry& registry_;
        std::string kind_;
    };

private:
    void Remove(const std::string& kind) {
        std::erase_if(rows_, [&kind](const Row& row) { return row.kind == kind; });
    }

    std::vector<Row> rows_;
};
