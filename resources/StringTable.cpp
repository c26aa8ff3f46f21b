#include "resources/StringTable.h"

#include "resources/ResourceIds.h"

namespace {

struct Entry
{
    int id;
    const char* text;
};

constexpr Entry kStrings[] = {
    {IDS_ABOUTBOX, "lanfinch のﾊﾞｰｼﾞｮﾝ情報(&A)..."},
    {IDS_NO_IP_ADDRESS, "IPｱﾄﾞﾚｽが入力されていません"},
    {IDS_NO_SUBNET_MASK, "ｻﾌﾞﾈｯﾄﾏｽｸが入力されていません"},
    {IDS_NO_GATEWAY, "ｹﾞｰﾄｳｪｲｱﾄﾞﾚｽが入力されていません"},
    {IDS_BAD_IP_ADDRESS, "IPｱﾄﾞﾚｽの設定が異常です"},
    {IDS_BAD_SUBNET_MASK, "ｻﾌﾞﾈｯﾄﾏｽｸの設定が異常です"},
    {IDS_BAD_IP_MASK_PAIR, "IPｱﾄﾞﾚｽとｻﾌﾞﾈｯﾄﾏｽｸの組合せが異常です"},
    {IDS_BAD_GATEWAY, "ｹﾞｰﾄｳｪｲｱﾄﾞﾚｽの設定が異常です"},
    {IDS_NETWORK_CHANGED, "ﾈｯﾄﾜｰｸ設定を変更しました"},
    {IDS_NETWORK_CHANGE_FAILED, "ﾈｯﾄﾜｰｸ設定の変更に失敗しました"},
    {IDS_NO_REPLY, "応答の受信に失敗しました"},
    {IDS_SET_NODE_ADDRESS, "IPｱﾄﾞﾚｽを正しく設定して下さい"},
    {IDS_SET_PEER_ADDRESS, "接続先IPｱﾄﾞﾚｽを指定して下さい"},
    {IDS_TRAP_TIME_RANGE, "ﾄﾗｯﾌﾟ時間の指定が範囲外です"},
    {IDS_SET_FAILED, "設定の変更に失敗しました"},
    {IDS_SET_DONE, "設定を変更しました"},
    {IDS_GET_NODE_ADDRESS, "IPｱﾄﾞﾚｽを正しく設定して下さい"},
    {IDS_GET_FAILED, "設定値の取得に失敗しました"},
    {IDS_NOT_CHANGED, "設定が変更されていません"},
    {IDS_SEND_FAILED, "送信に失敗しました"},
    {IDS_SELECT_NODE, "ﾉｰﾄﾞを選択して下さい"},
    {IDS_SELECT_MODE, "ﾓｰﾄﾞを選択して下さい"},
    {IDS_PARSE_INT, "整数を入力してください。"},
    {IDS_PARSE_INT_RANGE, "%1 から %2 までの整数を入力してください。"},
    {IDS_PARSE_UINT, "正の整数を入力してください。"},
};

} // namespace

QString LoadString(int id)
{
    for (const Entry& e : kStrings) {
        if (e.id == id)
            return QString::fromUtf8(e.text);
    }
    return {};
}

bool IsDataExchangeString(int id)
{
    return id == IDS_PARSE_INT || id == IDS_PARSE_INT_RANGE || id == IDS_PARSE_UINT;
}
