#include "quotes/unt_getstockinfotread_win.h"

namespace quotes {

TLivePriceLabel::TLivePriceLabel(const std::string& code, win::Label& label, const win::GuiPoster& poster,
                                 TGetStockInfoThread::Request request, TGetStockInfoThread::Pause pause)
    : alive_(std::make_shared<bool>(true)) {
  // The worker holds only the poster and a token; the label is touched on
  // the GUI thread, and only while this object lives.
  auto show = [poster, alive = alive_, label = &label](const std::string& caption) {
    poster.Post([alive, label, caption] {
      if (*alive) label->SetText(caption);
    });
  };
  thread_ = std::make_unique<TGetStockInfoThread>(code, false, std::move(request), std::move(show), std::move(pause));
}

TLivePriceLabel::~TLivePriceLabel() {
  thread_.reset();  // stops; a request in flight finishes on its own
  *alive_ = false;
}

}  // namespace quotes
