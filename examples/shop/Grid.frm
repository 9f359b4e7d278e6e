VERSION 5.00
Object = "{CD6D08F8-E47B-4645-B049-2D709AB7CA6E}#1.1#0"; "ZELKOCTL.OCX"
Begin VB.Form Orders
   Caption         =   "íçï∂àÍóó"
   Height          =   3600
   Left            =   1485
   LinkTopic       =   "Orders"
   ScaleHeight     =   3195
   ScaleWidth      =   8070
   Top             =   1290
   Width           =   8400
   Begin ZLKBTRLibCtl.ZLKGrid Grid1 
      Height          =   2700
      Left            =   150
      TabIndex        =   0
      Top             =   150
      Width           =   7800
      DbListSource    =   "Zelko1"
      DbListTable     =   "ORDERS"
      DbListFields    =   "ORDER_NO,CUST_NO,ORDER_DATE,CODE,QTY,AMOUNT"
      Cols            =   7
      Rows            =   2
      FixedCols       =   1
      FixedRows       =   1
      DbUpdateOption  =   1
      SetColNames     =   -1  'True
      SetRecordNumbers=   -1  'True
      DbListIndex     =   "ORDER_NO"
      AllowUpdate     =   -1  'True
      AllowDelete     =   -1  'True
   End
   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 
      Height          =   480
      Left            =   7500
      Top             =   3000
      Width           =   480
      DDFDir          =   "."
      OwnerName       =   ""
      OpenMode        =   0
      AllOpen         =   -1  'True
   End
End
Attribute VB_Name = "Orders"
Attribute VB_Creatable = False
Attribute VB_Exposed = False
