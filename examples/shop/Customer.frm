VERSION 5.00
Object = "{CD6D08F8-E47B-4645-B049-2D709AB7CA6E}#1.1#0"; "ZELKOCTL.OCX"
Begin VB.Form Customer
   Caption         =   "å⁄ãq"
   Height          =   3600
   Left            =   1485
   LinkTopic       =   "Customer"
   ScaleHeight     =   3195
   ScaleWidth      =   5910
   Top             =   1290
   Width           =   6000
   Begin VB.Label Label1 
      Caption         =   "å⁄ãqî‘çÜ"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   100
      Width           =   2010
   End
   Begin VB.Label Label2 
      Caption         =   "éÅñº"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   500
      Width           =   2010
   End
   Begin VB.Label Label3 
      Caption         =   "ÉJÉi"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   900
      Width           =   2010
   End
   Begin VB.Label Label4 
      Caption         =   "ê∂îNåéì˙"
      Height          =   375
      Left            =   500
      TabIndex        =   0
      Top             =   1300
      Width           =   2010
   End
   Begin ZLKBTRLibCtl.ZelkoDb Zelko1 
      Height          =   480
      Left            =   10
      Top             =   10
      Width           =   480
      _StockProps     =   0
      DDFDir          =   "."
      OwnerName       =   ""
      OpenMode        =   0
      AllOpen         =   -1  'True
   End
End
Attribute VB_Name = "Customer"
Attribute VB_Creatable = False
Attribute VB_Exposed = False
