; Hand-written checks for instructions a C compiler seldom emits:
; multi-precision ADDX, BCD with DAA/DAS, the bit instructions on memory,
; and LDC/STC through the stack.
; Results go to _result (longs); the test knows the expected values.
	.h8300h
	.section .text
	.global	_main
_main:
	mov.l	#_result,er6

; [0], [1]: 0000FFFF + FFFF0001 byte by byte: 0 with carry, and Z still
; set after the chain because ADDX only ever clears it.
	mov.w	#0xffff,r0
	mov.w	#0x0000,r1
	mov.w	#0x0001,r2
	mov.w	#0xffff,r3
	add.b	r2l,r0l
	addx	r2h,r0h
	addx	r3l,r1l
	addx	r3h,r1h
	stc	ccr,r4l
	and.b	#0x05,r4l
	mov.w	r1,e0
	mov.l	er0,@er6
	extu.w	r4
	extu.l	er4
	mov.l	er4,@(4,er6)

; [2]: 12345678 + 9ABCDEF0 the same way.
	mov.w	#0x5678,r0
	mov.w	#0x1234,r1
	mov.w	#0xdef0,r2
	mov.w	#0x9abc,r3
	add.b	r2l,r0l
	addx	r2h,r0h
	addx	r3l,r1l
	addx	r3h,r1h
	mov.w	r1,e0
	mov.l	er0,@(8,er6)

; [3]: BCD 1999 + 0001; [4]: BCD 2000 - 0001.
	mov.w	#0x1999,r0
	mov.w	#0x0001,r1
	add.b	r1l,r0l
	daa	r0l
	addx	r1h,r0h
	daa	r0h
	extu.l	er0
	mov.l	er0,@(12,er6)
	mov.w	#0x2000,r0
	sub.b	r1l,r0l
	das	r0l
	subx	r1h,r0h
	das	r0h
	extu.l	er0
	mov.l	er0,@(16,er6)

; [5]: bit instructions on @ERn and @aa:8 (H'FFFF10); [6]: the C bits
; that BLD/BAND/BOR/BXOR and their inverted forms gave, one per bit.
	mov.l	#_result+0x90,er1
	mov.b	#0x00,r0l
	mov.b	r0l,@er1
	mov.b	r0l,@0x10:8
	bset	#7,@er1
	bnot	#0,@er1
	mov.b	#3,r2l
	bset	r2l,@er1
	bnot	r2l,@er1
	bset	#1,@er1
	bclr	#1,@er1
	mov.b	#6,r2l
	bset	r2l,@0x10:8
	orc	#0x01,ccr
	bst	#2,@0x10:8
	bist	#4,@er1
	sub.b	r3l,r3l
	bld	#7,@er1
	bst	#0,r3l
	bild	#7,@er1
	bst	#1,r3l
	band	#6,@0x10:8
	bst	#2,r3l
	bor	#5,@0x10:8
	bst	#3,r3l
	bxor	#2,@0x10:8
	bst	#4,r3l
	biand	#0,@er1
	bst	#5,r3l
	bior	#1,@er1
	bst	#6,r3l
	bixor	#0,@er1
	bst	#7,r3l
	btst	#6,@0x10:8
	bne	1f
	mov.b	#0xff,r3l
1:	mov.b	@er1,r0l
	mov.b	@0x10:8,r0h
	extu.l	er0
	mov.l	er0,@(20,er6)
	extu.w	r3
	extu.l	er3
	mov.l	er3,@(24,er6)

; [7]: CCR through the stack with STC/LDC @-ER7 / @ER7+.
	ldc	#0x8a,ccr
	stc	ccr,@-er7
	ldc	#0x00,ccr
	ldc	@er7+,ccr
	stc	ccr,r0l
	extu.w	r0
	extu.l	er0
	mov.l	er0,@(28,er6)

	rts
