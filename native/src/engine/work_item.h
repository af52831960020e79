#pragma once

#include <memory>
#include <utility>

namespace truvello {

// A one-shot, move-only, type-erased callable without arguments or result:
// the work a started thread runs. Destroying it unrun releases whatever it
// captured.
class WorkItem {
 public:
  template <typename F>
  explicit WorkItem(F f) : impl_(std::make_unique<Model<F>>(std::move(f))) {}

  // Runs the work; call at most once.
  void run() { impl_->run(); }

 private:
  struct Concept {
    virtual ~Concept() = default;
    virtual void run() = 0;
  };
  template <typename F>
  struct Model final : Concept {
    explicit Model(F f) : f(std::move(f)) {}
    void run() override { std::move(f)(); }
    F f;
  };

  std::unique_ptr<Concept> impl_;
};

}  // namespace truvello
