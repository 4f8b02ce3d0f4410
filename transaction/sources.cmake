set(transaction_PORTABLE)
set(transaction_WINDOWS swap.cpp folder_lock.cpp)
