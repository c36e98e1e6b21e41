// Record payload decoders of every table: the item tables, the
// configuration, parameters, font and page-layout records. The first byte
// picks the table; the rest is the payload.

#include <vector>

#include "FuzzSupport.h"
#include "data/CConFigTable.h"
#include "data/CDatabase.h"
#include "data/CFormatRecord.h"
#include "data/CPageLayout.h"
#include "data/CVarData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
  if (nSize < 1) return 0;
  FuzzUi();
  std::vector<uint8_t> cPayload(pData + 1, pData + nSize);
  stRecordBuffer b(cPayload.data(), uint32_t(cPayload.size()));
  const uint8_t nTable = uint8_t(pData[0] % (DB_LAST_TABLE + 1));
  switch (nTable) {
    case TABLE_FLAGS: {
      CConFigTable t;
      t.ReadBufferConFig(b);
      break;
    }
    case TABLE_PARAMETERS: {
      stVarData v;
      CVarData::ReadBufferVarData(v, b);
      break;
    }
    case TABLE_FONT: {
      stFormatRecord f;
      CFormatRecord::ReadBufferFormatRecord(f, b);
      break;
    }
    case TABLE_PAGELAYOUT: {
      stPageLayout l;
      CPageLayout::ReadBufferPageLayout(l, b);
      break;
    }
    default:
      if (auto pItem = CDatabase::GetNewItemPointer(nTable)) {
        // A decoded item encodes again within the record size.
        if (CDatabase::DecodeItem(nTable, *pItem, b)) {
          std::vector<uint8_t> cOut(DB_BUFFER_SIZE);
          stRecordBuffer out(cOut.data(), uint32_t(cOut.size()));
          CDatabase::EncodeItem(nTable, *pItem, out);
        }
      }
  }
  return 0;
}
