#include "calibration_page.h"

#include "main_window.h"

tcalibration_page::tcalibration_page(TForm1& window) : QWidget(&window)
{
  ui.setupUi(this);
  ui.RadioGroup8->set_item_index(0);
  ui.RadioGroup9->set_item_index(0);
}
