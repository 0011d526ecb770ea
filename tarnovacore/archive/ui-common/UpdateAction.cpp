#include "UpdateAction.h"

namespace NUpdateArchive {

const CActionSet k_ActionSet_Add = {
    {kActionCopy, kActionCopy, kActionCompress, kActionCompress, kActionCompress, kActionCompress, kActionCompress}};
const CActionSet k_ActionSet_Update = {
    {kActionCopy, kActionCopy, kActionCompress, kActionCopy, kActionCompress, kActionCopy, kActionCompress}};
const CActionSet k_ActionSet_Fresh = {
    {kActionCopy, kActionCopy, kActionIgnore, kActionCopy, kActionCompress, kActionCopy, kActionCompress}};
const CActionSet k_ActionSet_Sync = {
    {kActionCopy, kActionIgnore, kActionCompress, kActionCopy, kActionCompress, kActionCopy, kActionCompress}};
const CActionSet k_ActionSet_Delete = {
    {kActionCopy, kActionIgnore, kActionIgnore, kActionIgnore, kActionIgnore, kActionIgnore, kActionIgnore}};

} // namespace NUpdateArchive
