// The live-price updater bound to a label of an editor: the worker's
// captions are posted to the GUI thread, which sets them while the label
// lives. Destruction stops the worker without waiting on a request in
// flight, and drops captions still queued.
#pragma once

#include <memory>
#include <string>

#include "quotes/unt_getstockinfotread.h"
#include "win/all_win.h"

namespace quotes {

class TLivePriceLabel {
 public:
  TLivePriceLabel(const std::string& code, win::Label& label, const win::GuiPoster& poster,
                  TGetStockInfoThread::Request request, TGetStockInfoThread::Pause pause = {});
  ~TLivePriceLabel();
  TLivePriceLabel(const TLivePriceLabel&) = delete;
  TLivePriceLabel& operator=(const TLivePriceLabel&) = delete;

  // The worker ends after its current round and clears the label.
  void Stop() { thread_->Stop(); }

 private:
  std::shared_ptr<bool> alive_;
  std::unique_ptr<TGetStockInfoThread> thread_;
};

}  // namespace quotes
