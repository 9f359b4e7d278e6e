'√∞ÃﬁŸID for CUST
Global Const TID_CUST = 0
'Ã®∞ŸƒﬁID
Global Const FID_NAME = 0
Global Const FID_KANA = 1
Global Const FID_èZèä = 2
Global Const FID_PRICE = 3
Global Const FID_AGE = 4
'≤›√ﬁØ∏Ω ID
Global Const KID_NAME = 0
Global Const KID_KANA = 1
Global Const KID_AGE = 2
'√∞ÃﬁŸID for ITEM
Global Const TID_ITEM = 1
'Ã®∞ŸƒﬁID
Global Const FID_CODE = 0
'≤›√ﬁØ∏Ω ID
Global Const KID_CODE = 0
