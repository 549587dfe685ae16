const unsigned char gImage_logo[128] = { /* 0X10,0X10,0X00 */
0XFF,0X00,0X1F,0X7E,0Xab,0XcD,
0x12,0X34,
};
