#pragma once

namespace quillon::settings {

// When a window's placement is saved: never before the window was first
// restored (a window never shown keeps what is stored), and at destruction
// only when it was shown again since its last save.
class PlacementSaveState {
public:
  // Call after every restore, also one that failed part-way: the next save
  // then replaces the damaged values instead of leaving them for good.
  void restored() {
    restored_ = true;
    savedSinceShown_ = false;
  }
  void saved() { savedSinceShown_ = true; }

  bool mayBeSaved() const { return restored_; }
  bool needsSaveAtDestruction() const { return restored_ && !savedSinceShown_; }

private:
  bool restored_ = false;
  bool savedSinceShown_ = false;
};

} // namespace quillon::settings
