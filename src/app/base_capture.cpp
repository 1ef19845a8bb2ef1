// Capture mode: sound devices, output volume, the stimulus, the capture run and the
// calibration button.
#include "app/base.h"

namespace anodix {

void Base::InitInDevices() {}
void Base::InitOutDevices() {}
void Base::PickInputDevice() {}
void Base::PickOutputDevice() {}
void Base::DevicesBox_Click() {}
void Base::ShowVolume() {}
void Base::Tvol_Change() {}
void Base::SetGridVoltages(float, float) {}
void Base::ScanGridSteps() {}
void Base::CloseStimulus() {}
void Base::TxVg1_Change() {}
void Base::TxVg2_Change() {}
void Base::StartButton_Click() {}
void Base::StopCapture() {}
void Base::BtCalib_Click() {}

}  // namespace anodix
