"""A short tour of _quorvex: interval arrays in midpoint-radius form."""
import _quorvex as qv

a = qv.array([1.0, 2.0, 3.0], 0.5)
print("a               =", a)
print("a.shape()       =", a.shape())
print("a.tolist()      =", a.tolist())
print("a.get(1)        =", a.get(1))
m = qv.arange(0, 6).reshape([2, 3])
print("m.transpose()   =", m.transpose(), m.transpose().shape())
print("zeros([3, 3])   =", qv.zeros([3, 3]))
print("linspace(0,1,5) =", qv.linspace(0, 1, 5))
print("num_threads()   =", qv.num_threads())
print("a + a           =", a + a)
print("a * 2           =", a * 2)
print("a.sqrt()        =", a.sqrt())
print("a.sum()         =", a.sum())
print("m @ m.T         =", m.matmul(m.transpose()))
